#include "offline/SavedTarget.h"

#include "wendlebrak/files/Files.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <istream>
#include <locale>
#include <sstream>
#include <tuple>

namespace aubrevane::offline
{
namespace
{

void dropCarriageReturn(std::string& line)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
}

bool usableDecibels(double value)
{
    return std::isfinite(value) && std::fabs(value) <= kMaxTargetDecibels;
}

/** Twelve whitespace-separated numbers in the classic locale; anything after the twelfth is ignored. */
bool readBalance(const std::string& value, dsp::Balance& balance)
{
    std::istringstream numbers(value);
    numbers.imbue(std::locale::classic());
    for (double& band : balance)
        numbers >> band;
    return !numbers.fail() && std::all_of(balance.begin(), balance.end(), usableDecibels);
}

} // namespace

bool parseTarget(std::istream& in, SavedTarget& target, std::string& message, const std::string& displayName)
{
    std::string line;
    if (!in || !std::getline(in, line))
    {
        message = "not an Aubrevane target: " + displayName;
        return false;
    }
    dropCarriageReturn(line);
    if (line != kTargetHeader)
    {
        message = "not an Aubrevane target: " + displayName;
        return false;
    }

    target = SavedTarget{};
    bool complete = false;
    while (std::getline(in, line))
    {
        dropCarriageReturn(line);
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        if (key == "name")
            target.name = std::move(value);
        else if (key == "source")
            target.source = std::move(value);
        else if (key == "balance")
            complete = readBalance(value, target.balance);
    }

    if (!complete)
    {
        message = "the target has no complete curve: " + displayName;
        return false;
    }
    if (target.name.empty())
        target.name = displayName;
    return true;
}

bool readTarget(const std::filesystem::path& path, SavedTarget& target, std::string& message)
{
    const std::string displayName = path.stem().string();
    std::string text;
    if (!wendlebrak::files::readSmallFile(path, kMaxTargetFileBytes, text))
    {
        message = "not an Aubrevane target: " + displayName;
        return false;
    }
    std::istringstream in(text);
    if (!parseTarget(in, target, message, displayName))
        return false;
    target.path = path;
    return true;
}

std::string formatTarget(const std::string& name, const std::string& source, const dsp::Balance& balance)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << kTargetHeader << '\n'
         << "name=" << wendlebrak::files::withoutLineBreaks(name) << '\n'
         << "source=" << wendlebrak::files::withoutLineBreaks(source) << '\n'
         << "balance=" << std::fixed << std::setprecision(3);
    for (std::size_t k = 0; k < balance.size(); ++k)
        text << (k == 0 ? "" : " ") << balance[k];
    text << '\n';
    return text.str();
}

std::filesystem::path targetPathForName(const std::filesystem::path& folder, const std::string& name)
{
    const std::filesystem::path base =
        wendlebrak::files::pathForName(folder, name, kTargetExtension, kTargetFallbackName);
    const std::string storedName = wendlebrak::files::withoutLineBreaks(name);
    for (int n = 0; n < 1000; ++n)
    {
        const std::filesystem::path candidate =
            n == 0 ? base : folder / (base.stem().string() + "-" + std::to_string(n) + kTargetExtension);
        std::error_code error;
        const auto status = std::filesystem::status(candidate, error);
        if (error || !std::filesystem::exists(status))
            return candidate;
        SavedTarget existing;
        std::string ignored;
        if (readTarget(candidate, existing, ignored) && existing.name == storedName)
            return candidate;
    }
    return {};
}

bool writeTarget(const std::filesystem::path& folder, const std::string& name, const std::string& source,
                 const dsp::Balance& balance, std::string& message)
{
    if (!std::all_of(balance.begin(), balance.end(), usableDecibels))
    {
        message = "the target has no complete curve: " + name;
        return false;
    }
    // A relative folder would put the file wherever the host happens to run; it is refused like a failed write.
    const std::filesystem::path path = folder.is_absolute() ? targetPathForName(folder, name) : std::filesystem::path();
    if (path.empty())
    {
        message = "could not write " +
                  wendlebrak::files::pathForName(folder, name, kTargetExtension, kTargetFallbackName).string();
        return false;
    }
    return wendlebrak::files::replaceSmallFile(path, formatTarget(name, source, balance), kMaxTargetFileBytes, message);
}

std::filesystem::path userTargetDirectory(const std::string& base)
{
    const std::filesystem::path basePath(base);
    if (base.empty() || !basePath.is_absolute())
        return {};
    return basePath / "Aubrevane" / "Targets";
}

std::vector<SavedTarget> listTargets(const std::filesystem::path& folder)
{
    std::vector<SavedTarget> targets;
    if (folder.empty())
        return targets;
    for (const auto& file : wendlebrak::files::filesWithExtension(folder, kTargetExtension))
    {
        SavedTarget target;
        std::string ignored;
        if (readTarget(file, target, ignored))
            targets.push_back(std::move(target));
    }
    std::sort(targets.begin(), targets.end(),
              [](const SavedTarget& a, const SavedTarget& b)
              { return std::tie(a.name, a.path) < std::tie(b.name, b.path); });
    return targets;
}

} // namespace aubrevane::offline
