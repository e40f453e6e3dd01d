#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace aubrevane::test
{

/** How the loopback server answers every request it reads. */
struct HttpReply
{
    enum class Mode
    {
        Answer,   // send the bytes, then close (or, with keepOpen, wait for the next request on the connection)
        Silent,   // read the request and never answer
        Dribble,  // send the bytes, then one more byte every 100 ms until the client gives up
    };
    Mode mode = Mode::Answer;
    std::string bytes;
    bool keepOpen = false;
};

/** How an answer's body is delimited. */
enum class Framing
{
    Length,
    Chunked,
    Close,
};

/**
 * A tiny HTTP server on 127.0.0.1 with a port the system picks, serving one connection at a time from its own
 * thread with a scripted reply. It records every request head and counts connections; stop() joins the thread.
 */
class LoopbackHttpServer
{
public:
    explicit LoopbackHttpServer(HttpReply scriptedReply) : reply(std::move(scriptedReply))
    {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof(address);
        if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            listen(listener, 16) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            pipe2(wakePipe, O_CLOEXEC) != 0)
            std::abort();
        boundPort = ntohs(address.sin_port);
        thread = std::thread([this] { run(); });
    }

    ~LoopbackHttpServer()
    {
        stop();
        close(listener);
        close(wakePipe[0]);
        close(wakePipe[1]);
    }

    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const { return boundPort; }
    std::string url(const std::string& path = "/updates.json") const
    {
        return "http://127.0.0.1:" + std::to_string(boundPort) + path;
    }

    /** Ends the serving thread and joins it; connections still waiting to be accepted are counted first. */
    void stop()
    {
        if (!thread.joinable())
            return;
        const char byte = 1;
        [[maybe_unused]] const auto written = write(wakePipe[1], &byte, 1);
        thread.join();
    }

    int connections() const { return connectionCount.load(); }
    int requests() const
    {
        const std::lock_guard lock(mutex);
        return static_cast<int>(heads.size());
    }
    std::vector<std::string> requestHeads() const
    {
        const std::lock_guard lock(mutex);
        return heads;
    }

    /** A complete response with the given status, extra header lines (each ending in CRLF) and body framing. */
    static std::string response(int status, const std::string& body, Framing framing = Framing::Length,
                                const std::string& extraHeaders = "")
    {
        std::string text = "HTTP/1.1 " + std::to_string(status) + " Scripted\r\nContent-Type: application/json\r\n";
        text += extraHeaders;
        switch (framing)
        {
        case Framing::Length:
            text += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
            break;
        case Framing::Chunked:
            text += "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
            for (size_t at = 0; at < body.size(); at += 4000)
            {
                const std::string piece = body.substr(at, 4000);
                char size[16];
                std::snprintf(size, sizeof(size), "%zx\r\n", piece.size());
                text += size + piece + "\r\n";
            }
            text += "0\r\n\r\n";
            break;
        case Framing::Close:
            text += "Connection: close\r\n\r\n" + body;
            break;
        }
        return text;
    }

private:
    static constexpr size_t kMaxHeadBytes = 65536;

    /** Waits until the socket can be read or the server is stopped; false when stopped. */
    bool waitReadable(int socket, int timeoutMilliseconds, bool& readable)
    {
        pollfd fds[2] = {{socket, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        readable = false;
        if (poll(fds, 2, timeoutMilliseconds) < 0)
            return false;
        if (fds[1].revents != 0)
            return false;
        readable = fds[0].revents != 0;
        return true;
    }

    bool readHead(int socket, std::string& head)
    {
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHeadBytes)
        {
            bool readable = false;
            if (!waitReadable(socket, -1, readable))
                return false;
            const ssize_t got = recv(socket, buffer, sizeof(buffer), 0);
            if (got <= 0)
                return false;
            head.append(buffer, static_cast<size_t>(got));
        }
        return head.find("\r\n\r\n") != std::string::npos;
    }

    /** Keeps the connection until the client closes it or the server stops. */
    void waitUntilClosed(int socket)
    {
        char buffer[4096];
        bool readable = false;
        while (waitReadable(socket, -1, readable))
        {
            if (recv(socket, buffer, sizeof(buffer), 0) <= 0)
                return;
        }
    }

    static bool sendAll(int socket, const std::string& bytes)
    {
        for (size_t sent = 0; sent < bytes.size();)
        {
            const ssize_t put = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (put <= 0)
                return false;
            sent += static_cast<size_t>(put);
        }
        return true;
    }

    void serve(int socket)
    {
        while (true)
        {
            std::string head;
            if (!readHead(socket, head))
                return;
            {
                const std::lock_guard lock(mutex);
                heads.push_back(head.substr(0, head.find("\r\n\r\n") + 4));
            }
            switch (reply.mode)
            {
            case HttpReply::Mode::Answer:
                if (!sendAll(socket, reply.bytes))
                    return;
                if (reply.keepOpen)
                    continue;
                shutdown(socket, SHUT_WR);
                waitUntilClosed(socket);
                return;
            case HttpReply::Mode::Silent:
                waitUntilClosed(socket);
                return;
            case HttpReply::Mode::Dribble:
                if (!sendAll(socket, reply.bytes))
                    return;
                while (true)
                {
                    bool readable = false;
                    if (!waitReadable(socket, 100, readable) || readable || !sendAll(socket, "x"))
                        return;
                }
            }
        }
    }

    void run()
    {
        while (true)
        {
            bool readable = false;
            if (!waitReadable(listener, -1, readable))
                break;
            const int socket = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (socket < 0)
                continue;
            ++connectionCount;
            serve(socket);
            close(socket);
        }
        fcntl(listener, F_SETFL, fcntl(listener, F_GETFL) | O_NONBLOCK);
        for (int socket; (socket = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
        {
            ++connectionCount;
            close(socket);
        }
    }

    HttpReply reply;
    int listener = -1;
    int wakePipe[2] = {-1, -1};
    int boundPort = 0;
    std::atomic<int> connectionCount{0};
    mutable std::mutex mutex;
    std::vector<std::string> heads;
    std::thread thread;
};

} // namespace aubrevane::test
