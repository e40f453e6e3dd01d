#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace aubrevane::offline
{

/** A reference recording mixed down to one channel, at the file's own sample rate. */
struct DecodedAudio
{
    std::vector<float> samples; // for each frame of the file, the mean of its channels
    double sampleRate = 0.0;    // Hz; never resampled
    std::uint32_t channels = 0; // channels of the file
};

/** The longest stretch of a reference file that is kept and analysed, in seconds. */
inline constexpr double kMaxReferenceSeconds = 480.0;

/** Frames read from the decoder at a time. */
inline constexpr std::size_t kDecodeBlockFrames = 4096;

/** The message of a decoding or measurement that stopped because its cancel flag was raised. */
inline constexpr const char* kCancelledMessage = "the analysis was cancelled";

/** True when the file name ends in .wav, .wave, .aif, .aiff, .aifc, .mp3 or .flac, compared in ASCII lower case. */
[[nodiscard]] bool isReferenceFileName(const std::string& fileName);

/**
 * Worker thread: decodes at most maxSeconds of a reference file into `audio`. The extension decides which
 * container is accepted (WAV or AIFF for .wav/.wave/.aif/.aiff/.aifc, MP3 for .mp3, FLAC for .flac); anything
 * else, or a path that is not a regular file, fails with the message "could not read " and the file name, and an
 * unknown extension with "unsupported file type " and the extension. Non-finite samples are read as 0. The cancel
 * flag, when given, is checked before every block of kDecodeBlockFrames frames. Throws only what allocation throws.
 */
[[nodiscard]] bool decodeAudioFile(const std::string& path, DecodedAudio& audio, std::string& message,
                                   double maxSeconds = kMaxReferenceSeconds, const std::atomic<bool>* cancel = nullptr);

/** As decodeAudioFile, but the file's bytes are already in memory; fileName supplies the extension and the name. */
[[nodiscard]] bool decodeAudioMemory(const void* data, std::size_t size, const std::string& fileName,
                                     DecodedAudio& audio, std::string& message,
                                     double maxSeconds = kMaxReferenceSeconds,
                                     const std::atomic<bool>* cancel = nullptr);

} // namespace aubrevane::offline
