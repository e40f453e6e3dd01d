#include "offline/Mp3Stream.h"

#include "wendlebrak/files/Files.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include <mpg123.h>

namespace aubrevane::offline
{
namespace
{

/** The largest MPEG audio frame with a bitrate in its header (MPEG 2.5 Layer II at 160 kbit/s and 8 kHz, padded). */
constexpr std::size_t kMaxFrameBytes = 2881;
/** Frames that must follow one another where a stream starts, unless the data ends first. */
constexpr int kChainedFrames = 4;

struct FrameHeader
{
    int version = 0; // the header's two version bits: 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
    int layer = 0;
    int rateIndex = 0;
    bool mono = false;
    std::size_t bytes = 0;

    bool continues(const FrameHeader& first) const
    {
        return version == first.version && layer == first.layer && rateIndex == first.rateIndex && mono == first.mono;
    }
};

/** The frame header at `bytes` (four bytes), when it is one with a bitrate of its own (free format is not) and no
 *  reserved value. */
std::optional<FrameHeader> frameHeaderAt(const unsigned char* bytes)
{
    static constexpr int kKilobits[2][3][15] = {// MPEG 2 and 2.5: Layer I, II, III
                                                {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
                                                 {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                                 {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
                                                // MPEG 1
                                                {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
                                                 {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
                                                 {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}}};
    static constexpr int kHertz[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

    if (bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0)
        return std::nullopt;
    FrameHeader header;
    header.version = (bytes[1] >> 3) & 3;
    const int layerBits = (bytes[1] >> 1) & 3, bitrateIndex = bytes[2] >> 4, padding = (bytes[2] >> 1) & 1;
    header.rateIndex = (bytes[2] >> 2) & 3;
    const int emphasis = bytes[3] & 3;
    if (header.version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || header.rateIndex == 3 ||
        emphasis == 2)
        return std::nullopt;
    header.mono = (bytes[3] >> 6) == 3;
    header.layer = 4 - layerBits;
    const bool mpeg1 = header.version == 3;
    const long bitsPerSecond = 1000L * kKilobits[mpeg1 ? 1 : 0][header.layer - 1][bitrateIndex];
    const long hertz = kHertz[header.version][header.rateIndex];
    if (header.layer == 1)
        header.bytes = static_cast<std::size_t>((12 * bitsPerSecond / hertz + padding) * 4);
    else if (header.layer == 3 && !mpeg1)
        header.bytes = static_cast<std::size_t>(72 * bitsPerSecond / hertz + padding);
    else
        header.bytes = static_cast<std::size_t>(144 * bitsPerSecond / hertz + padding);
    return header;
}

/** The size of the ID3v2 tag at `bytes` (ten bytes), its footer included; 0 when there is none. */
std::int64_t id3TagBytes(const unsigned char* bytes)
{
    if (std::memcmp(bytes, "ID3", 3) != 0 || bytes[3] == 0xFF || bytes[4] == 0xFF)
        return 0;
    std::int64_t size = 0;
    for (int i = 6; i < 10; ++i)
    {
        if (bytes[i] >= 0x80)
            return 0;
        size = size * 128 + bytes[i];
    }
    return 10 + size + ((bytes[5] & 0x10) != 0 ? 10 : 0);
}

/** Whether a stream starts at `offset` of `bytes`: kChainedFrames frames alike in a row, or fewer that end the data
 *  (`atEnd`: nothing follows `bytes`), exactly or where an ID3v1 tag begins. After other bytes, only a Layer III
 *  stream: machine code holds chains of what reads as Layer I headers (0xFF 0xFF ...). */
bool streamStartsAt(const std::vector<unsigned char>& bytes, std::size_t offset, bool atEnd)
{
    std::optional<FrameHeader> first;
    std::size_t at = offset;
    for (int frames = 0; frames < kChainedFrames; ++frames)
    {
        if (atEnd && frames > 0 &&
            (at == bytes.size() || (at + 128 == bytes.size() && std::memcmp(bytes.data() + at, "TAG", 3) == 0)))
            return true;
        if (at + 4 > bytes.size())
            return false;
        const std::optional<FrameHeader> header = frameHeaderAt(bytes.data() + at);
        if (!header || (first && !header->continues(*first)) || (offset > 0 && header->layer != 3))
            return false;
        if (!first)
            first = header;
        at += header->bytes;
    }
    return true;
}

/** Reads up to `count` bytes at `offset`; fewer at the end of the data. */
std::vector<unsigned char> bytesAt(ByteSource& source, std::int64_t offset, std::size_t count)
{
    std::vector<unsigned char> bytes(count);
    const std::int64_t got = source.seek(offset, SEEK_SET) == offset ? source.read(bytes.data(), count) : -1;
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

/** Where the first frame lies: past any ID3v2 tags, the first place within kMp3SearchBytes where a stream starts;
 *  -1 when none does. */
std::int64_t firstFrameOffset(ByteSource& source, std::int64_t from)
{
    std::int64_t tagged = from;
    for (;;)
    {
        const std::vector<unsigned char> header = bytesAt(source, tagged, 10);
        const std::int64_t tagBytes = header.size() == 10 ? id3TagBytes(header.data()) : 0;
        if (tagBytes == 0)
            break;
        tagged += tagBytes;
    }
    const std::size_t wanted = static_cast<std::size_t>(kMp3SearchBytes) + kChainedFrames * kMaxFrameBytes;
    const std::vector<unsigned char> bytes = bytesAt(source, tagged, wanted);
    const bool atEnd = bytes.size() < wanted;
    for (std::size_t offset = 0; offset < bytes.size() && offset < static_cast<std::size_t>(kMp3SearchBytes); ++offset)
        if (streamStartsAt(bytes, offset, atEnd))
            return tagged + static_cast<std::int64_t>(offset);
    return -1;
}

bool isFloatFormat(mpg123_handle* handle, long rate, int channels)
{
    long nowRate = 0;
    int nowChannels = 0, encoding = 0;
    return mpg123_getformat(handle, &nowRate, &nowChannels, &encoding) == MPG123_OK && nowRate == rate &&
           nowChannels == channels && encoding == MPG123_ENC_FLOAT_32;
}

} // namespace

Mp3Stream::~Mp3Stream()
{
    if (handle != nullptr)
    {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
}

bool Mp3Stream::open(ByteSource& bytes)
{
    source = &bytes;
    const std::int64_t from = bytes.seek(0, SEEK_CUR);
    start = from < 0 ? -1 : firstFrameOffset(bytes, from);
    if (start < 0 || bytes.seek(start, SEEK_SET) != start)
        return false;

    static const bool initialised = mpg123_init() == MPG123_OK; // needed before libmpg123 1.27, harmless since
    if (!initialised || (handle = mpg123_new(nullptr, nullptr)) == nullptr)
        return false;
    // the decoder's notes on a damaged stream would reach the terminal
    mpg123_param2(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    mpg123_format_none(handle);
    const long* rates = nullptr;
    std::size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (std::size_t i = 0; i < rateCount; ++i)
        mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);

    // libmpg123 sees the stream from its first frame: offset 0 is `start`
    const auto readBytes = [](void* stream, void* into, std::size_t count) -> mpg123_ssize_t
    { return static_cast<mpg123_ssize_t>(static_cast<Mp3Stream*>(stream)->source->read(into, count)); };
    const auto seekBytes = [](void* stream, off_t offset, int whence) -> off_t
    {
        const auto& self = *static_cast<Mp3Stream*>(stream);
        const std::int64_t position = self.source->seek(whence == SEEK_SET ? self.start + offset : offset, whence);
        return position < self.start ? -1 : static_cast<off_t>(position - self.start);
    };
    long sampleRate = 0;
    int encoding = 0;
    if (mpg123_replace_reader_handle(handle, readBytes, seekBytes, nullptr) != MPG123_OK ||
        mpg123_open_handle(handle, this) != MPG123_OK ||
        mpg123_getformat(handle, &sampleRate, &channelCount, &encoding) != MPG123_OK ||
        encoding != MPG123_ENC_FLOAT_32 || channelCount < 1 || sampleRate <= 0)
        return false;
    // later frames come in the first one's layout, a mono frame in a stereo stream as two channels
    mpg123_format_none(handle);
    mpg123_format(handle, sampleRate, channelCount, MPG123_ENC_FLOAT_32);
    rate = static_cast<int>(sampleRate);
    mpg123_frameinfo info{};
    mpg123_info(handle, &info);
    mpegLayer = info.layer;
    const off_t length = mpg123_length(handle);
    frameCount = length > 0 ? static_cast<std::int64_t>(length) : -1;
    return true;
}

std::int64_t Mp3Stream::read(float* interleaved, std::int64_t frames)
{
    if (failed || handle == nullptr)
        return -1;
    const std::size_t frameBytes = sizeof(float) * static_cast<std::size_t>(channelCount);
    std::int64_t done = 0;
    while (done < frames)
    {
        std::size_t got = 0;
        const int code = mpg123_read(handle, interleaved + done * channelCount,
                                     static_cast<std::size_t>(frames - done) * frameBytes, &got);
        done += static_cast<std::int64_t>(got / frameBytes);
        if (code == MPG123_DONE)
            break;
        if (code == MPG123_NEW_FORMAT && isFloatFormat(handle, rate, channelCount))
            continue;
        if (code == MPG123_NEW_FORMAT)
            error = "the stream changes its sample rate part-way";
        else if (code != MPG123_OK)
            error = wendlebrak::files::asMessageReason(mpg123_strerror(handle));
        else if (got > 0)
            continue;
        else
            error = "the decoder stopped giving audio";
        failed = true;
        break;
    }
    return done == 0 && failed ? -1 : done;
}

bool startsLikeMpeg(const unsigned char* bytes, std::size_t size)
{
    return (size >= 3 && std::memcmp(bytes, "ID3", 3) == 0) ||
           (size >= 2 && bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0);
}

} // namespace aubrevane::offline
