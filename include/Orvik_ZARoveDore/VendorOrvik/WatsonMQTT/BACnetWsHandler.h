#pragma once

#include <Poco/NotificationQueue.h>
#include <Poco/Runnable.h>
#include <Poco/Types.h>

#include <string>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// One forwarded BACnet/WS request, run on a pool thread of the bridge.
///
/// run() performs the HTTP/1.1 exchange with the controller's web service (keep-alive, 20 s time-out,
/// the body sent with its length and no content type), and sets `bacnetWsResponse` to the answer as
/// the "ws" member of the reply event (EventText::bacnetWsAnswer; the HTTP status is not part of it).
/// When the exchange fails it sets `bacnetWsError` instead: "HTTP output stream fail",
/// "HTTP input stream fail", or the HTTP session's own error text. Either way it ends by posting
/// NotificationBACnetWsDone, which takes over the job, to `pWatsonPublisherQueue`: no job is lost or
/// leaked, and the requester always gets a reply.
///
/// The web service is on "localhost" port 80. setServiceAddress() moves it for the whole process, for
/// setups where it listens elsewhere (test setups on a free port).
class BACnetWsHandler : public Poco::Runnable
{
public:
    static constexpr long _TIMEOUT_SECONDS = 20;

    BACnetWsHandler(Poco::NotificationQueue* aPublisherQueue, const std::string& aClientId,
                    const std::string& aPath, const std::string& aMethod, const std::string& aPayload);
    ~BACnetWsHandler() override = default;

    void run() override;

    /// True when the job ended without an answer; `bacnetWsError` says why.
    bool failed() const { return !bacnetWsError.empty(); }

    static void setServiceAddress(const std::string& host, Poco::UInt16 port);

    Poco::NotificationQueue* pWatsonPublisherQueue;
    std::string watsonClientId;
    std::string bacnetWsPath;
    std::string bacnetWsMethod;
    std::string bacnetWsPayload;
    std::string bacnetWsResponse;
    std::string bacnetWsError;

private:
    void exchange();
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
