#pragma once

#include "offline/ByteSource.h"

#include <cstdint>
#include <string>

struct mpg123_handle_struct;

namespace aubrevane::offline
{

/** How far past its ID3v2 tags an MPEG audio stream's first frame may start: padding or a few stray bytes. */
inline constexpr std::int64_t kMp3SearchBytes = 64 * 1024;

/**
 * An MPEG audio stream (MP3, also Layer I and II) decoded by libmpg123 into interleaved 32-bit floats, read from its
 * first frame: ID3v2 tags are stepped over, and the first frame is the first place within kMp3SearchBytes after them
 * where four frames follow one another with the same MPEG version, layer and sample rate (or fewer that end the
 * data). libmpg123 sees the stream from that frame on, so a file with padding or stray bytes before it decodes to
 * the same samples as the clean file. Its gapless information (a LAME header) is used, and it never prints.
 */
class Mp3Stream
{
public:
    Mp3Stream() = default;
    ~Mp3Stream();
    Mp3Stream(const Mp3Stream&) = delete;
    Mp3Stream& operator=(const Mp3Stream&) = delete;

    /** False when the source holds no MPEG audio stream where one may start, or libmpg123 cannot decode its first
     *  frame. The source must outlive this object; it is read from where it stands, then only by the decoder. */
    [[nodiscard]] bool open(ByteSource& source);

    int sampleRate() const { return rate; }
    int channels() const { return channelCount; }
    int layer() const { return mpegLayer; }
    /** The frames the stream holds as its header gives them (exact from a LAME or Xing header, else estimated from
     *  the size); -1 when unknown. */
    std::int64_t frames() const { return frameCount; }

    /** Reads up to `frames` interleaved frames; the number read, 0 at the end, -1 when a decoding error came before
     *  any frame of this call (frames decoded before an error are returned first). */
    std::int64_t read(float* interleaved, std::int64_t frames);
    /** libmpg123's reason for the last failure, in the host's words. */
    std::string lastError() const { return error; }

private:
    mpg123_handle_struct* handle = nullptr;
    ByteSource* source = nullptr;
    std::int64_t start = 0; // where the first frame lies in the source
    int rate = 0, channelCount = 0, mpegLayer = 0;
    std::int64_t frameCount = -1;
    bool failed = false;
    std::string error;
};

/** Whether the bytes begin as libsndfile's own MPEG detection takes them: an ID3v2 tag or an MPEG frame header. */
bool startsLikeMpeg(const unsigned char* bytes, std::size_t size);

} // namespace aubrevane::offline
