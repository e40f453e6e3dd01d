// Fuzzes reference decoding from memory; the input's first byte picks the extension, so every container is tried.
#include "fuzz/FuzzCheck.h"
#include "offline/ReferenceDecoder.h"

#include <cmath>

using aubrevane::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace aubrevane::offline;
    if (size == 0)
        return 0;
    static const char* const kNames[] = {"in.wav", "in.aiff", "in.flac", "in.mp3"};
    const std::string name = kNames[data[0] % 4];
    // Ten seconds bounds what a lying header can make the decoder hold.
    const double maxSeconds = 10.0;
    DecodedAudio audio;
    std::string message;
    if (!decodeAudioMemory(data + 1, size - 1, name, audio, message, maxSeconds))
    {
        check(message == "could not read " + name);
        return 0;
    }
    check(audio.sampleRate > 0.0 && audio.channels > 0 && !audio.samples.empty());
    check(static_cast<double>(audio.samples.size()) <= std::floor(maxSeconds * audio.sampleRate));
    for (float sample : audio.samples)
        check(std::isfinite(sample));
    return 0;
}
