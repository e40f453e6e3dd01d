#pragma once

#include <sndfile.h>

#include <optional>
#include <string>

namespace aubrevane::host
{

/** The format an output is written in, chosen from its name and the input. */
struct OutputFormat
{
    SF_INFO info{};                // the input's channels and rate
    bool samplesMayChange = false; // the sample format cannot hold every input sample exactly
};

/**
 * The container is the one the name's extension names (the last dot's, also where the name is nothing else, as in
 * ".wav"): .wav, .aif/.aiff/.aifc, .flac, .ogg/.oga, .opus, .mp3, .caf, .w64, .rf64 or .au; without an extension, the
 * input's, where it is one of them. An input already in that container keeps its form (WAVEX, RIFX, AIFC; Opus in
 * .ogg). The input's sample format is kept where the container holds it (a lossy codec only in its own container);
 * else the nearest it holds: the smallest that keeps every sample, or failing that the finest, or failing that (a
 * lossy container) its usual codec. Nothing, with the reason in `error`, for another extension, and for a rate or a
 * channel count the container or its codec cannot hold ("Opus cannot hold 44100 Hz; it holds ...").
 */
[[nodiscard]] std::optional<OutputFormat> chooseOutputFormat(const std::string& outputName, const SF_INFO& input,
                                                             bool inputIsAifc, std::string& error);

/** What a sample format holds, for messages: "16-bit samples", "32-bit float samples", "Vorbis audio". */
std::string describeSamples(int format);

} // namespace aubrevane::host
