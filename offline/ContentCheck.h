#pragma once

#include "offline/ByteSource.h"

#include <cstddef>

#include <sndfile.h>

namespace aubrevane::offline
{

/** How many bytes at the start of an input recognisesByItsOwnMarker needs at most. */
inline constexpr std::size_t kContentCheckBytes = 4096;

/**
 * Whether libsndfile recognises the input whose first bytes these are by a marker of its own format (RIFF, FORM,
 * fLaC, OggS...). Only such input may be opened through libsndfile: given anything else, it looks for a Macintosh
 * resource fork in other files ("._" and ".AppleDouble/" beside the input, or in the current folder when it reads
 * through a descriptor), and reads or fails on what it finds there. MPEG audio is never handed to it (false): the
 * decoders read that themselves, from its first frame. Any thread.
 */
[[nodiscard]] bool recognisesByItsOwnMarker(const unsigned char* head, std::size_t size);

/**
 * Opens the source, read from its start, through libsndfile where recognisesByItsOwnMarker allows it, or where it
 * is HTK, which libsndfile knows by the file's length (a source of unknown length is opened as a stream); nullptr
 * otherwise, or when libsndfile fails, with `recognised` saying which. The source must outlive the SNDFILE, which the
 * caller closes.
 */
[[nodiscard]] SNDFILE* openSoundFile(ByteSource& source, SF_INFO& info, bool& recognised);

} // namespace aubrevane::offline
