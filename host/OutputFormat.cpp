#include "host/OutputFormat.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <limits>
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

/** A lossy codec and the rates its encoder takes: every one from lowestHertz to highestHertz, or only those listed. */
struct Codec
{
    int format;
    const char* name;
    int lowestHertz, highestHertz;
    std::vector<int> onlyHertz;
};

/**
 * A container the host writes. Each was shown to keep the rate, the channel count and the length exactly, and to
 * write nothing but the named file. The others libsndfile writes do not: some store the rate in a narrow field or
 * round it to one the format knows (XI, WVE, HTK, VOC, IFF, SDS), and SD2 writes a second file beside the named one.
 */
struct Container
{
    const char* name;
    std::vector<std::string> extensions; // lower case, without the dot
    std::vector<int> majors;             // the usual form first, then another one kept for an input already in it
    std::vector<Codec> codecs;           // a lossy container's codecs, the usual first; none for plain samples
    int highestHertz = std::numeric_limits<int>::max();
};

const std::vector<Container>& writtenContainers()
{
    static const Codec vorbis{SF_FORMAT_VORBIS, "Ogg Vorbis", 8000, 192000, {}}; // above, the encoder fails
    static const Codec opus{SF_FORMAT_OPUS, "Opus", 0, 0, {8000, 12000, 16000, 24000, 48000}};
    static const Codec mp3{
        SF_FORMAT_MPEG_LAYER_III, "MP3", 0, 0, {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000}};
    static const std::vector<Container> containers = {
        {"WAV", {"wav"}, {SF_FORMAT_WAV, SF_FORMAT_WAVEX}, {}},
        {"AIFF", {"aif", "aiff", "aifc"}, {SF_FORMAT_AIFF}, {}},
        {"FLAC", {"flac"}, {SF_FORMAT_FLAC}, {}, 655350}, // the limit of libsndfile's FLAC encoder
        {"Ogg", {"ogg", "oga"}, {SF_FORMAT_OGG}, {vorbis, opus}},
        {"Opus", {"opus"}, {SF_FORMAT_OGG}, {opus}},
        {"MP3", {"mp3"}, {SF_FORMAT_MPEG}, {mp3}},
        {"CAF", {"caf"}, {SF_FORMAT_CAF}, {}},
        {"W64", {"w64"}, {SF_FORMAT_W64}, {}},
        {"RF64", {"rf64"}, {SF_FORMAT_RF64}, {}},
        {"AU", {"au"}, {SF_FORMAT_AU}, {}},
    };
    return containers;
}

/** "a, b and c", for messages. */
std::string listed(const std::vector<std::string>& items)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return text;
}

/** ".wav, .aif, ... and .au", for messages. */
std::string writtenExtensions()
{
    std::vector<std::string> all;
    for (const Container& container : writtenContainers())
        for (const std::string& extension : container.extensions)
            all.push_back("." + extension);
    return listed(all);
}

/** What follows the last dot of the file name, lower case; a name that is only an extension (".wav") has one. */
std::string extensionOf(const std::string& outputName)
{
    const std::string name = std::filesystem::path(outputName).filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 == name.size() || name == "..")
        return {};
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

/** The sample formats plain containers are written with, in libsndfile's order: samples, each kept as it is. */
constexpr int kPlainSamples[] = {SF_FORMAT_PCM_S8, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24,
                                 SF_FORMAT_PCM_32, SF_FORMAT_PCM_U8, SF_FORMAT_FLOAT,
                                 SF_FORMAT_DOUBLE, SF_FORMAT_ULAW,   SF_FORMAT_ALAW};

/** The sample formats `major` can be written with at the input's channel count and rate. */
std::vector<int> heldSubformats(int major, const SF_INFO& input)
{
    std::vector<int> held;
    for (const int samples : kPlainSamples)
    {
        SF_INFO candidate{};
        candidate.channels = input.channels;
        candidate.samplerate = input.samplerate;
        candidate.format = major | samples;
        if (sf_format_check(&candidate))
            held.push_back(samples);
    }
    return held;
}

/** "8000, 12000 and 48000 Hz" or "8000 to 192000 Hz". */
std::string heldRates(const Codec& codec)
{
    if (codec.onlyHertz.empty())
        return std::to_string(codec.lowestHertz) + " to " + std::to_string(codec.highestHertz) + " Hz";
    std::vector<std::string> rates;
    for (const int hertz : codec.onlyHertz)
        rates.push_back(std::to_string(hertz));
    return listed(rates) + " Hz";
}

bool holdsRate(const Codec& codec, int hertz)
{
    if (codec.onlyHertz.empty())
        return hertz >= codec.lowestHertz && hertz <= codec.highestHertz;
    return std::find(codec.onlyHertz.begin(), codec.onlyHertz.end(), hertz) != codec.onlyHertz.end();
}

/** The nearest of `held` to the input's sample format: the input's own, else the smallest that holds every sample,
 *  else the finest. */
int nearestSamples(const std::vector<int>& held, int inputSamples, bool sameContainer)
{
    const bool keepsInput = std::find(held.begin(), held.end(), inputSamples) != held.end() &&
                            (precisionOf(inputSamples) != 0 || sameContainer);
    if (keepsInput)
        return inputSamples;
    const auto rank = [&](int samples)
    {
        const int precision = precisionOf(samples);
        return precision == 0 ? -1 : holdsExactly(samples, inputSamples) ? 1000 - precision : precision;
    };
    int chosen = held.front();
    for (const int samples : held)
        if (rank(samples) > rank(chosen))
            chosen = samples;
    return chosen;
}

} // namespace

std::optional<OutputFormat> chooseOutputFormat(const std::string& outputName, const SF_INFO& input, bool inputIsAifc,
                                               std::string& error)
{
    const int inputMajor = input.format & SF_FORMAT_TYPEMASK, inputSamples = input.format & SF_FORMAT_SUBMASK;
    const auto& containers = writtenContainers();
    const std::string extension = extensionOf(outputName);
    const auto container =
        std::find_if(containers.begin(), containers.end(),
                     [&](const Container& candidate)
                     {
                         const auto& names = candidate.extensions;
                         const auto& majors = candidate.majors;
                         return extension.empty() ? std::find(majors.begin(), majors.end(), inputMajor) != majors.end()
                                                  : std::find(names.begin(), names.end(), extension) != names.end();
                     });
    if (container == containers.end())
    {
        error = extension.empty()
                    ? "without an extension it takes the input's format, " + formatName(inputMajor) +
                          ", which is not one the host writes; name it with one of " + writtenExtensions()
                    : "." + extension + " is not a format the host writes; it writes " + writtenExtensions();
        return std::nullopt;
    }
    // An input already in one of the container's forms (WAVEX, RIFX, AIFC) keeps it.
    const bool sameContainer =
        std::find(container->majors.begin(), container->majors.end(), inputMajor) != container->majors.end();
    const int major = sameContainer ? inputMajor : container->majors.front();

    OutputFormat format;
    format.info.channels = input.channels;
    format.info.samplerate = input.samplerate;
    int chosen = 0;
    if (!container->codecs.empty())
    {
        // the input's own codec where the container has it (Opus in .ogg), else the container's usual one
        const auto& codecs = container->codecs;
        const auto own =
            std::find_if(codecs.begin(), codecs.end(),
                         [&](const Codec& codec) { return sameContainer && codec.format == inputSamples; });
        const Codec& codec = own != codecs.end() ? *own : codecs.front();
        if (!holdsRate(codec, input.samplerate))
        {
            error = std::string(codec.name) + " cannot hold " + std::to_string(input.samplerate) + " Hz; it holds " +
                    heldRates(codec);
            return std::nullopt;
        }
        chosen = codec.format;
        SF_INFO candidate = format.info;
        candidate.format = major | chosen;
        if (!sf_format_check(&candidate))
        {
            error = std::string(codec.name) + " cannot hold " + std::to_string(input.channels) + " channels";
            return std::nullopt;
        }
    }
    else
    {
        if (input.samplerate > container->highestHertz)
        {
            error = std::string(container->name) + " cannot hold " + std::to_string(input.samplerate) +
                    " Hz; it holds up to " + std::to_string(container->highestHertz) + " Hz";
            return std::nullopt;
        }
        const std::vector<int> held = heldSubformats(major, input);
        if (held.empty())
        {
            error = std::string(container->name) + " cannot hold " + std::to_string(input.channels) + " channels at " +
                    std::to_string(input.samplerate) + " Hz";
            return std::nullopt;
        }
        chosen = nearestSamples(held, inputSamples, sameContainer);
    }
    format.info.format = major | chosen;
    format.samplesMayChange = !holdsExactly(chosen, inputSamples);

    // The byte order is part of a form: RIFX is a big-endian WAV, and libsndfile writes integer samples as AIFC (the
    // form an AIFC input keeps, and the one .aifc names) only little-endian.
    const bool aifc = major == SF_FORMAT_AIFF && (extension == "aifc" || (sameContainer && inputIsAifc));
    const int endian = aifc ? SF_ENDIAN_LITTLE : sameContainer ? input.format & SF_FORMAT_ENDMASK : 0;
    SF_INFO ordered = format.info;
    ordered.format |= endian;
    if (endian != 0 && sf_format_check(&ordered))
        format.info = ordered;
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
