#include "offline/ContentCheck.h"

#include "offline/Mp3Stream.h"

#include <algorithm>
#include <cstring>

#include <sndfile.h>

namespace aubrevane::offline
{
namespace
{

/** The first bytes of an input, given to libsndfile as a file of no length: it tries a resource fork only for a
 *  file whose length is above 0. */
class Head final : public MemorySource
{
public:
    using MemorySource::MemorySource;
    std::int64_t length() override { return 0; }
};

/** libsndfile reads a source through these, so it never opens anything itself. */
struct SourceCallbacks
{
    static ByteSource& of(void* user) { return *static_cast<ByteSource*>(user); }
    // a stream is as long as libsndfile takes a pipe to be
    static sf_count_t length(void* user)
    {
        const std::int64_t bytes = of(user).length();
        return bytes < 0 ? SF_COUNT_MAX : bytes;
    }
    static sf_count_t seek(sf_count_t offset, int whence, void* user) { return of(user).seek(offset, whence); }
    static sf_count_t read(void* into, sf_count_t count, void* user)
    {
        return count <= 0 ? 0 : std::max<std::int64_t>(0, of(user).read(into, static_cast<std::size_t>(count)));
    }
    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t tell(void* user) { return of(user).seek(0, SEEK_CUR); }
    static SF_VIRTUAL_IO io() { return {&length, &seek, &read, &write, &tell}; }
};

/** HTK has no marker: libsndfile knows it by a sample count that gives the file's length, with 16-bit waveform
 *  samples. */
bool isHtk(const unsigned char* head, std::int64_t size, std::int64_t fileBytes)
{
    if (size < 12 || head[8] != 0 || head[9] != 2 || head[10] != 0 || head[11] != 0)
        return false;
    const std::int64_t samples = (std::int64_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
    return 2 * samples + 12 == fileBytes;
}

} // namespace

bool recognisesByItsOwnMarker(const unsigned char* head, std::size_t size)
{
    // libsndfile takes these for MPEG, the last of them only after looking for a resource fork
    if (startsLikeMpeg(head, size))
        return false;
    Head source{head, std::min(size, kContentCheckBytes)};
    SF_VIRTUAL_IO io = SourceCallbacks::io();
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, static_cast<ByteSource*>(&source));
    if (file == nullptr)
        // Its marker found, a format's reader may still fail on a file of no length; the real length comes later.
        return sf_error(nullptr) != SF_ERR_UNRECOGNISED_FORMAT;
    const bool mpeg = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
    sf_close(file);
    return !mpeg;
}

SNDFILE* openSoundFile(ByteSource& source, SF_INFO& info, bool& recognised)
{
    unsigned char head[kContentCheckBytes];
    const std::int64_t got = source.read(head, sizeof head);
    recognised =
        got > 0 && (recognisesByItsOwnMarker(head, static_cast<std::size_t>(got)) || isHtk(head, got, source.length()));
    if (!recognised || source.seek(0, SEEK_SET) != 0)
        return nullptr;
    SF_VIRTUAL_IO io = SourceCallbacks::io();
    info = SF_INFO{};
    return sf_open_virtual(&io, SFM_READ, &info, &source);
}

} // namespace aubrevane::offline
