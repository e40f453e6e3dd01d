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
 * The container is the one the name's extension names (.wav, .aif/.aiff, .flac, .ogg, .mp3 and every other one
 * libsndfile writes), else the input's. The input's sample format is kept where the container holds it (a lossy
 * codec only in its own container); else the nearest it holds: the smallest that keeps every sample, or failing
 * that the finest, or failing that (a lossy container) its first codec. Nothing when the container holds no sample
 * format at this channel count and rate; the message then reads "FORMAT cannot hold ...".
 */
[[nodiscard]] std::optional<OutputFormat> chooseOutputFormat(const std::string& outputName, const SF_INFO& input,
                                                             std::string& error);

/** What a sample format holds, for messages: "16-bit samples", "32-bit float samples", "Vorbis audio". */
std::string describeSamples(int format);

} // namespace aubrevane::host
