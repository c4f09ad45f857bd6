#pragma once

#include <Poco/Net/HTTPServer.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Orvik::Test
{

/// A real HTTP/1.1 server (Poco's) on a free port of 127.0.0.1, answering every request with the
/// configured status and body, and keeping what it received for the test to inspect.
///
/// With `setDrop(true)` it reads each request and closes the connection without any answer, so that
/// clients see a broken exchange. The server runs from construction to destruction.
class HttpServer
{
public:
    struct Request
    {
        std::string method;
        std::string uri;
        std::string body;
        std::string contentLength;  ///< as sent; empty when the header was absent
    };

    HttpServer();
    ~HttpServer();

    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    std::uint16_t port() const;
    void setAnswer(int status, const std::string& body);
    void setDrop(bool drop);
    std::vector<Request> requests() const;
    /// Waits until at least `count` requests have arrived; false when the time ran out.
    bool waitForRequests(std::size_t count, int timeoutMs = 20000);

    /// What the request handlers share with the test.
    struct State
    {
        mutable std::mutex mutex;
        std::vector<Request> requests;
        int status = 200;
        std::string body;
        bool drop = false;
    };

private:
    std::shared_ptr<State> _state;
    std::unique_ptr<Poco::Net::HTTPServer> _server;
};

}  // namespace Orvik::Test
