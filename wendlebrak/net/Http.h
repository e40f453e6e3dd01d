#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace wendlebrak::net
{

/** What one GET brought back. A status other than 0 is an accepted response, not necessarily a success. */
struct HttpResult
{
    int status = 0;     // 0: no usable response (refused address, network failure, time-out, redirect, oversized)
    std::string body;   // at most kMaxBodyBytes, empty unless the response was accepted
    int retryAfter = 0; // the "Retry-After" seconds when they lie from 1 to 3600, else 0
    bool bodyTooLarge = false; // status 0 because the body was longer than kMaxBodyBytes
};

/** The largest body a response may carry; a longer one is refused whole. */
inline constexpr size_t kMaxBodyBytes = 65536;

/** One blocking GET asking for JSON; the same as send(). Never call it on the audio or user-interface thread. */
[[nodiscard]] HttpResult getJson(const std::string& url, int timeoutSeconds);

/**
 * One blocking GET on the calling thread, over a fresh connection; any thread but audio and user interface.
 * The time-out, clamped to 1..3600 seconds, bounds the whole transfer. Redirects are refused, not followed.
 */
[[nodiscard]] HttpResult send(const std::string& url, int timeoutSeconds);

/** Whether this process may open network connections; a Linux process has no sandbox entitlements to consult. */
[[nodiscard]] bool mayUseNetwork();

/**
 * Whether send() would use this address at all: http or https only, no user name or password, and plain http
 * only to the loopback interface (127.0.0.0/8, ::1, localhost). Pure; makes no connection.
 */
[[nodiscard]] bool isAllowedUrl(const std::string& url);

/**
 * While it lives, every transfer on the constructing thread ends early (status 0) once stopRequested turns true.
 * The background runner installs one so that stopping it never leaves its thread inside a transfer.
 */
class StopScope
{
public:
    explicit StopScope(const std::atomic<bool>& stopRequested) noexcept;
    ~StopScope();
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

private:
    const std::atomic<bool>* previous;
};

} // namespace wendlebrak::net
