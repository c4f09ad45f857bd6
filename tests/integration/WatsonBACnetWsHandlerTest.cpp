#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BACnetWsHandler.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/NotificationBACnetWsDone.h"

#include "HttpServer.h"

#include <Poco/AutoPtr.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/NotificationQueue.h>
#include <gtest/gtest.h>

using Orvik::BACnet::App::VendorOrvik::WatsonMQTT::BACnetWsHandler;
using Orvik::BACnet::App::VendorOrvik::WatsonMQTT::NotificationBACnetWsDone;
using Orvik::Test::HttpServer;

namespace
{

/// Runs one job against the server and hands back the job as it arrives on the queue.
class WatsonBACnetWsHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override { BACnetWsHandler::setServiceAddress("127.0.0.1", _server.port()); }
    void TearDown() override { BACnetWsHandler::setServiceAddress("localhost", 80); }

    Poco::AutoPtr<NotificationBACnetWsDone> runJob(const std::string& method, const std::string& path,
                                                   const std::string& body)
    {
        auto* job = new BACnetWsHandler(&_queue, "client-7", path, method, body);
        job->run();
        Poco::AutoPtr<Poco::Notification> done(_queue.dequeueNotification());
        Poco::AutoPtr<NotificationBACnetWsDone> result = done.cast<NotificationBACnetWsDone>();
        EXPECT_FALSE(result.isNull());
        EXPECT_EQ(job, result->pBACnetWsHandler.get());
        return result;
    }

    HttpServer _server;
    Poco::NotificationQueue _queue;
};

}  // namespace

TEST_F(WatsonBACnetWsHandlerTest, SendsTheRequestAndKeepsTheAnswerAsWsMember)
{
    _server.setAnswer(200, "{\"value\":21.5}");
    auto done = runJob("PUT", "/bws/.multi?alt=json", "{\"a\":1}");
    ASSERT_TRUE(_server.waitForRequests(1));
    const auto request = _server.requests().at(0);
    EXPECT_EQ("PUT", request.method);
    EXPECT_EQ("/bws/.multi?alt=json", request.uri);
    EXPECT_EQ("{\"a\":1}", request.body);
    EXPECT_EQ("7", request.contentLength);
    EXPECT_FALSE(done->pBACnetWsHandler->failed());
    EXPECT_EQ("{\"value\":21.5}", done->pBACnetWsHandler->bacnetWsResponse);
    EXPECT_EQ("client-7", done->pBACnetWsHandler->watsonClientId);

    _server.setAnswer(404, "Not Found");
    EXPECT_EQ("\"Not Found\"", runJob("GET", "/x", "")->pBACnetWsHandler->bacnetWsResponse);
    _server.setAnswer(204, "");
    EXPECT_EQ("\"\"", runJob("GET", "/x", "")->pBACnetWsHandler->bacnetWsResponse);
}

TEST_F(WatsonBACnetWsHandlerTest, FailedExchangeStillHandsTheJobBackWithTheReason)
{
    _server.setDrop(true);
    auto dropped = runJob("GET", "/bws", "");
    EXPECT_TRUE(dropped->pBACnetWsHandler->failed());
    EXPECT_EQ("", dropped->pBACnetWsHandler->bacnetWsResponse);

    std::uint16_t closedPort = 0;
    {
        Poco::Net::ServerSocket probe(Poco::Net::SocketAddress("127.0.0.1", 0));
        closedPort = probe.address().port();
    }
    BACnetWsHandler::setServiceAddress("127.0.0.1", closedPort);
    auto refused = runJob("GET", "/bws", "");
    EXPECT_TRUE(refused->pBACnetWsHandler->failed());
    EXPECT_NE(std::string::npos, refused->pBACnetWsHandler->bacnetWsError.find("refused"))
        << refused->pBACnetWsHandler->bacnetWsError;
}
