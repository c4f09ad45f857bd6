#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BACnetWsHandler.h"

#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/NotificationBACnetWsDone.h"

#include <Poco/Exception.h>
#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/StreamCopier.h>
#include <Poco/Timespan.h>

#include <mutex>
#include <typeinfo>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

namespace
{

std::mutex serviceMutex;
std::string serviceHost = "localhost";
Poco::UInt16 servicePort = 80;

}  // namespace

BACnetWsHandler::BACnetWsHandler(Poco::NotificationQueue* aPublisherQueue, const std::string& aClientId,
                                 const std::string& aPath, const std::string& aMethod,
                                 const std::string& aPayload)
    : pWatsonPublisherQueue(aPublisherQueue),
      watsonClientId(aClientId),
      bacnetWsPath(aPath),
      bacnetWsMethod(aMethod),
      bacnetWsPayload(aPayload)
{
}

void BACnetWsHandler::run()
{
    try
    {
        exchange();
    }
    catch (const Poco::Exception& error)
    {
        // The own texts stand alone; the network's errors keep their kind ("Connection refused: ...").
        bacnetWsError = typeid(error) == typeid(Poco::Exception) ? error.message() : error.displayText();
    }
    catch (const std::exception& error)
    {
        bacnetWsError = error.what();
    }
    // Last action: from here on the bridge's thread owns (and may already have deleted) this job.
    pWatsonPublisherQueue->enqueueNotification(new NotificationBACnetWsDone(this));
}

void BACnetWsHandler::setServiceAddress(const std::string& host, Poco::UInt16 port)
{
    std::lock_guard<std::mutex> lock(serviceMutex);
    serviceHost = host;
    servicePort = port;
}

void BACnetWsHandler::exchange()
{
    std::unique_lock<std::mutex> lock(serviceMutex);
    Poco::Net::HTTPClientSession session(serviceHost, servicePort);
    lock.unlock();
    session.setKeepAlive(true);
    session.setTimeout(Poco::Timespan(_TIMEOUT_SECONDS, 0));

    Poco::Net::HTTPRequest request(bacnetWsMethod, bacnetWsPath, Poco::Net::HTTPMessage::HTTP_1_1);
    request.setContentLength(static_cast<std::streamsize>(bacnetWsPayload.size()));
    std::ostream& body = session.sendRequest(request);
    body << bacnetWsPayload;
    if (!body.good())
    {
        throw Poco::Exception("HTTP output stream fail");
    }

    Poco::Net::HTTPResponse response;
    std::istream& answer = session.receiveResponse(response);
    if (!answer.good())
    {
        throw Poco::Exception("HTTP input stream fail");
    }
    std::string text;
    Poco::StreamCopier::copyToString(answer, text);
    bacnetWsResponse = EventText::bacnetWsAnswer(text);
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
