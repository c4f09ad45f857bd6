#include "HttpServer.h"

#include "Eventually.h"

#include <Poco/Net/HTTPRequestHandler.h>
#include <Poco/Net/HTTPRequestHandlerFactory.h>
#include <Poco/Net/HTTPServerParams.h>
#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerRequestImpl.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/StreamCopier.h>

#include <chrono>

namespace Orvik::Test
{

namespace
{

class RecordingHandler : public Poco::Net::HTTPRequestHandler
{
public:
    explicit RecordingHandler(std::shared_ptr<HttpServer::State> state) : _state(std::move(state)) {}

    void handleRequest(Poco::Net::HTTPServerRequest& request,
                       Poco::Net::HTTPServerResponse& response) override
    {
        HttpServer::Request received{request.getMethod(), request.getURI(), "",
                                     request.get(Poco::Net::HTTPMessage::CONTENT_LENGTH, "")};
        Poco::StreamCopier::copyToString(request.stream(), received.body);
        int status = 200;
        std::string body;
        bool drop = false;
        {
            std::lock_guard<std::mutex> lock(_state->mutex);
            _state->requests.push_back(received);
            status = _state->status;
            body = _state->body;
            drop = _state->drop;
        }
        if (drop)
        {
            static_cast<Poco::Net::HTTPServerRequestImpl&>(request).detachSocket().close();
            return;
        }
        response.setStatus(static_cast<Poco::Net::HTTPResponse::HTTPStatus>(status));
        response.setContentLength(static_cast<std::streamsize>(body.size()));
        response.send() << body;
    }

private:
    std::shared_ptr<HttpServer::State> _state;
};

class RecordingFactory : public Poco::Net::HTTPRequestHandlerFactory
{
public:
    explicit RecordingFactory(std::shared_ptr<HttpServer::State> state) : _state(std::move(state)) {}

    Poco::Net::HTTPRequestHandler* createRequestHandler(const Poco::Net::HTTPServerRequest&) override
    {
        return new RecordingHandler(_state);
    }

private:
    std::shared_ptr<HttpServer::State> _state;
};

}  // namespace

HttpServer::HttpServer() : _state(std::make_shared<State>())
{
    Poco::Net::ServerSocket socket(Poco::Net::SocketAddress("127.0.0.1", 0));
    _server = std::make_unique<Poco::Net::HTTPServer>(new RecordingFactory(_state), socket,
                                                      new Poco::Net::HTTPServerParams);
    _server->start();
}

HttpServer::~HttpServer()
{
    _server->stopAll(true);
}

std::uint16_t HttpServer::port() const
{
    return _server->port();
}

void HttpServer::setAnswer(int status, const std::string& body)
{
    std::lock_guard<std::mutex> lock(_state->mutex);
    _state->status = status;
    _state->body = body;
}

void HttpServer::setDrop(bool drop)
{
    std::lock_guard<std::mutex> lock(_state->mutex);
    _state->drop = drop;
}

std::vector<HttpServer::Request> HttpServer::requests() const
{
    std::lock_guard<std::mutex> lock(_state->mutex);
    return _state->requests;
}

bool HttpServer::waitForRequests(std::size_t count, int timeoutMs)
{
    return eventually([&] { return requests().size() >= count; }, std::chrono::milliseconds(timeoutMs));
}

}  // namespace Orvik::Test
