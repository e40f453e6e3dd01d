#pragma once

#include "support/TestFolder.h"
#include "wendlebrak/updates/UpdateCheck.h"

#include <memory>
#include <string>

namespace aubrevane::test
{

/** Aubrevane 0.9.14's update check on the test's folder, with a fixed clock and no network. */
inline std::unique_ptr<wendlebrak::updates::UpdateCheck> offlineUpdateCheck()
{
    wendlebrak::updates::Config config;
    config.product = "Aubrevane";
    config.version = "0.9.14";
    config.directory = testFolder() / "wendlebrak";
    config.now = [] { return 1'800'000'000LL; };
    config.mayUseNetwork = [] { return false; };
    return std::make_unique<wendlebrak::updates::UpdateCheck>(std::move(config));
}

/** Stores a feed that offers `version` at the page `page` as the last fetched one, and lets the check read it. */
inline bool offerUpdate(wendlebrak::updates::UpdateCheck& check, const std::string& version,
                        const std::string& page = "/aubrevane")
{
    const std::string feed = R"({"Aubrevane":{"version":")" + version + R"(","page":")" + page + R"("}})";
    if (!check.writeRecord({1'800'000'000LL, feed}))
        return false;
    check.reload();
    return true;
}

} // namespace aubrevane::test
