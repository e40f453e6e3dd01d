#include "wendlebrak/net/Http.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>

namespace wendlebrak::net
{

namespace
{

constexpr long kMinTimeoutSeconds = 1;
constexpr long kMaxTimeoutSeconds = 3600; // so that a time-out of 0 never means "wait forever"
constexpr int kMaxRetryAfterSeconds = 3600;

thread_local const std::atomic<bool>* currentStop = nullptr;

struct UrlDeleter
{
    void operator()(CURLU* url) const noexcept { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

struct EasyDeleter
{
    void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};

struct HeaderListDeleter
{
    void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};

char lowerAscii(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

bool hasPart(CURLU* url, CURLUPart part)
{
    char* text = nullptr;
    const CURLUcode code = curl_url_get(url, part, &text, 0);
    curl_free(text);
    return code == CURLUE_OK;
}

std::optional<std::string> urlPart(CURLU* url, CURLUPart part)
{
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr)
        return std::nullopt;
    std::string value(text);
    curl_free(text);
    return value;
}

bool isLoopbackHost(std::string_view host)
{
    if (equalsIgnoringCase(host, "localhost"))
        return true;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    {
        const std::string inner(host.substr(1, host.size() - 2));
        in6_addr address{};
        return inet_pton(AF_INET6, inner.c_str(), &address) == 1 && IN6_IS_ADDR_LOOPBACK(&address);
    }
    const std::string dotted(host);
    in_addr address{};
    return inet_pton(AF_INET, dotted.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

/** The parsed address when the policy allows it; the transfer uses this very parse, so both agree on the host. */
UrlHandle parseAllowedUrl(const std::string& url, bool& loopback)
{
    for (const char c : url)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F)
            return nullptr;
    }
    // Exactly two slashes before the host: the parser would also take "https:/host" or "https:///host".
    const size_t separator = url.find("://");
    if (separator == std::string::npos || separator + 3 >= url.size() || url[separator + 3] == '/' ||
        url[separator + 3] == '\\')
        return nullptr;
    UrlHandle parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return nullptr;
    const auto scheme = urlPart(parsed.get(), CURLUPART_SCHEME);
    const auto host = urlPart(parsed.get(), CURLUPART_HOST);
    if (!scheme || !host || host->empty())
        return nullptr;
    if (hasPart(parsed.get(), CURLUPART_USER) || hasPart(parsed.get(), CURLUPART_PASSWORD) ||
        hasPart(parsed.get(), CURLUPART_OPTIONS))
        return nullptr;
    loopback = isLoopbackHost(*host);
    if (*scheme == "https")
        return parsed;
    if (*scheme == "http" && loopback)
        return parsed;
    return nullptr;
}

/** The leading integer of a header value, read the way a platform's intValue reads it; a date gives 0. */
int retryAfterSeconds(std::string_view value) noexcept
{
    size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-'))
        negative = value[i++] == '-';
    long long seconds = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
    {
        seconds = seconds * 10 + (value[i] - '0');
        if (seconds > kMaxRetryAfterSeconds)
            return 0;
    }
    return (!negative && seconds >= 1) ? static_cast<int>(seconds) : 0;
}

/** What the callbacks of one transfer fill in. */
struct Transfer
{
    std::string body;
    bool bodyTooLong = false;
    bool hasLocation = false;
    bool hasRetryAfter = false;
    int retryAfter = 0;
    const std::atomic<bool>* stop = nullptr;

    bool stopRequested() const noexcept { return stop != nullptr && stop->load(std::memory_order_relaxed); }
};

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto& transfer = *static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (transfer.stopRequested())
        return 0;
    if (bytes > kMaxBodyBytes - transfer.body.size())
    {
        transfer.bodyTooLong = true;
        return 0; // aborts the transfer with a write error
    }
    try
    {
        transfer.body.append(data, bytes);
    }
    catch (...)
    {
        return 0;
    }
    return bytes;
}

size_t onHeader(char* data, size_t size, size_t count, void* user)
{
    auto& transfer = *static_cast<Transfer*>(user);
    const std::string_view line(data, size * count);
    if (line.substr(0, 5) == "HTTP/")
    {
        // A new response begins (after an interim 1xx one): only the final response's fields count.
        transfer.hasLocation = false;
        transfer.hasRetryAfter = false;
        transfer.retryAfter = 0;
        return line.size();
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return line.size();
    const std::string_view name = line.substr(0, colon);
    if (equalsIgnoringCase(name, "location"))
    {
        transfer.hasLocation = true;
    }
    else if (equalsIgnoringCase(name, "retry-after") && !transfer.hasRetryAfter)
    {
        transfer.hasRetryAfter = true;
        transfer.retryAfter = retryAfterSeconds(line.substr(colon + 1));
    }
    return line.size();
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<Transfer*>(user)->stopRequested() ? 1 : 0;
}

bool curlReady()
{
    // Once per process and never cleaned up: another library in the host may be using libcurl too.
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

HttpResult perform(const std::string& url, int timeoutSeconds)
{
    bool loopback = false;
    const UrlHandle parsed = parseAllowedUrl(url, loopback);
    if (!parsed || !curlReady())
        return {};
    Transfer transfer;
    transfer.stop = currentStop;
    if (transfer.stopRequested())
        return {};

    // The header list is made first so that it outlives the handle that points to it.
    const std::unique_ptr<curl_slist, HeaderListDeleter> headers(
        curl_slist_append(nullptr, "Accept: application/json"));
    const std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy || !headers)
        return {};
    const long timeout = std::clamp<long>(timeoutSeconds, kMinTimeoutSeconds, kMaxTimeoutSeconds);
    CURL* handle = easy.get();
    bool configured = true;
    const auto set = [&](CURLoption option, auto value)
    { configured &= curl_easy_setopt(handle, option, value) == CURLE_OK; };
    set(CURLOPT_CURLU, parsed.get());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_HTTPHEADER, headers.get());
    set(CURLOPT_FOLLOWLOCATION, 0L);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_TIMEOUT, timeout);
    set(CURLOPT_CONNECTTIMEOUT, timeout);
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    set(CURLOPT_FRESH_CONNECT, 1L);
    set(CURLOPT_FORBID_REUSE, 1L);
    set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
    set(CURLOPT_WRITEFUNCTION, onBody);
    set(CURLOPT_WRITEDATA, &transfer);
    set(CURLOPT_HEADERFUNCTION, onHeader);
    set(CURLOPT_HEADERDATA, &transfer);
    set(CURLOPT_XFERINFOFUNCTION, onProgress);
    set(CURLOPT_XFERINFODATA, &transfer);
    set(CURLOPT_NOPROGRESS, 0L);
    if (loopback)
        set(CURLOPT_PROXY, ""); // the loopback interface is never reached through a proxy
    if (!configured)
        return {};

    const CURLcode code = curl_easy_perform(handle);
    if (transfer.stopRequested())
        return {};
    if (code == CURLE_FILESIZE_EXCEEDED || transfer.bodyTooLong)
    {
        HttpResult refused; // still no usable response, but the caller can say why
        refused.bodyTooLarge = true;
        return refused;
    }
    if (code != CURLE_OK)
        return {};
    long status = 0;
    if (curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status < 100 || status > 999)
        return {};
    if (status >= 300 && status < 400 && transfer.hasLocation)
        return {};
    HttpResult result;
    result.status = static_cast<int>(status);
    result.body = std::move(transfer.body);
    result.retryAfter = transfer.retryAfter;
    return result;
}

} // namespace

HttpResult getJson(const std::string& url, int timeoutSeconds)
{
    return send(url, timeoutSeconds);
}

HttpResult send(const std::string& url, int timeoutSeconds)
{
    try
    {
        return perform(url, timeoutSeconds);
    }
    catch (...)
    {
        return {};
    }
}

bool mayUseNetwork()
{
    return true;
}

bool isAllowedUrl(const std::string& url)
{
    bool loopback = false;
    return parseAllowedUrl(url, loopback) != nullptr;
}

StopScope::StopScope(const std::atomic<bool>& stopRequested) noexcept : previous(currentStop)
{
    currentStop = &stopRequested;
}

StopScope::~StopScope()
{
    currentStop = previous;
}

} // namespace wendlebrak::net
