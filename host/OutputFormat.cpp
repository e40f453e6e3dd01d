#include "host/OutputFormat.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <utility>
#include <vector>

namespace aubrevane::host
{
namespace
{

constexpr int kFloatPrecision = 100, kDoublePrecision = 200; // above every integer width, in this order

/** The bits an integer sample format keeps, kFloatPrecision or kDoublePrecision for the floats, 0 for a codec that
 *  does not give back what it was given. */
int precisionOf(int subformat)
{
    switch (subformat)
    {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return 8;
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ALAC_16:
        return 16;
    case SF_FORMAT_ALAC_20:
        return 20;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_ALAC_24:
        return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_ALAC_32:
        return 32;
    case SF_FORMAT_FLOAT:
        return kFloatPrecision;
    case SF_FORMAT_DOUBLE:
        return kDoublePrecision;
    default:
        return 0;
    }
}

/** Whether every sample decoded from `input` survives being written as `output`. */
bool holdsExactly(int output, int input)
{
    const int held = precisionOf(output), needed = precisionOf(input);
    if (output == input || held == kDoublePrecision)
        return true;
    // a float's mantissa holds 24 bits, and what a codec decodes (needed 0) is a float already
    if (held == kFloatPrecision)
        return needed <= 24 || needed == kFloatPrecision;
    return held != 0 && needed != 0 && needed <= held;
}

/** libsndfile's name for a major or sample format, without its explanation in brackets. */
std::string formatName(int format)
{
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr)
        return "this format";
    const std::string name = info.name;
    return name.substr(0, name.find(" ("));
}

/** The major format libsndfile writes under this extension (lower case, no dot); 0 for none. Where several share
 *  one (WAV, NIST and WAVEX all list "wav"), the first listed is the common one. */
int majorForExtension(std::string extension)
{
    // spellings in common use that libsndfile lists under another
    static const std::pair<const char*, const char*> kAliases[] = {
        {"aif", "aiff"}, {"aifc", "aiff"}, {"ogg", "oga"}, {"mp3", "m1a"}};
    for (const auto& [alias, listed] : kAliases)
        if (extension == alias)
            extension = listed;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i)
    {
        SF_FORMAT_INFO major{};
        major.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &major, sizeof major) == 0 && major.extension != nullptr &&
            extension == major.extension)
            return major.format;
    }
    return 0;
}

/** The sample formats `major` can be written with at the input's channel count and rate, in libsndfile's order. */
std::vector<int> heldSubformats(int major, const SF_INFO& input)
{
    std::vector<int> held;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i)
    {
        SF_FORMAT_INFO subtype{};
        subtype.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE, &subtype, sizeof subtype) != 0)
            continue;
        SF_INFO candidate{};
        candidate.channels = input.channels;
        candidate.samplerate = input.samplerate;
        candidate.format = major | subtype.format;
        // libsndfile decodes MPEG Layer I and II but encodes Layer III alone
        const bool decodedOnly = subtype.format == SF_FORMAT_MPEG_LAYER_I || subtype.format == SF_FORMAT_MPEG_LAYER_II;
        if (!decodedOnly && sf_format_check(&candidate))
            held.push_back(subtype.format);
    }
    return held;
}

} // namespace

std::optional<OutputFormat> chooseOutputFormat(const std::string& outputName, const SF_INFO& input, std::string& error)
{
    const int inputMajor = input.format & SF_FORMAT_TYPEMASK, inputSamples = input.format & SF_FORMAT_SUBMASK;
    std::string extension = std::filesystem::path(outputName).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const int named = extension.empty() ? 0 : majorForExtension(extension.substr(1));
    const int major = named != 0 ? named : inputMajor;

    const std::vector<int> held = heldSubformats(major, input);
    if (held.empty())
    {
        error = formatName(major) + " cannot hold " + std::to_string(input.channels) + " channels at " +
                std::to_string(input.samplerate) + " Hz";
        return std::nullopt;
    }
    // the first listed: for a lossy container, its usual codec
    int chosen = held.front();
    const bool keepsInput = std::find(held.begin(), held.end(), inputSamples) != held.end() &&
                            (precisionOf(inputSamples) != 0 || major == inputMajor);
    if (keepsInput)
        chosen = inputSamples;
    else
    {
        // the smallest format that holds every sample exactly, else the finest
        const auto rank = [&](int samples)
        {
            const int precision = precisionOf(samples);
            return precision == 0 ? -1 : holdsExactly(samples, inputSamples) ? 1000 - precision : precision;
        };
        for (const int samples : held)
            if (rank(samples) > rank(chosen))
                chosen = samples;
    }

    OutputFormat format;
    format.info.channels = input.channels;
    format.info.samplerate = input.samplerate;
    format.info.format = major | chosen;
    format.samplesMayChange = !holdsExactly(chosen, inputSamples);
    return format;
}

std::string describeSamples(int format)
{
    const int samples = format & SF_FORMAT_SUBMASK, precision = precisionOf(samples);
    if (precision == kFloatPrecision || precision == kDoublePrecision)
        return precision == kFloatPrecision ? "32-bit float samples" : "64-bit float samples";
    return precision != 0 ? std::to_string(precision) + "-bit samples" : formatName(samples) + " audio";
}

} // namespace aubrevane::host
