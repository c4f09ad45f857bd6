#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventPublisher.h"

#include "Orvik_Watson/IOTP_Client.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BACnetWsHandler.h"

#include <iostream>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

using Orvik::BACnet::Client::DataObjectKey;

namespace
{

const int EVENT_QOS = 1;
const std::size_t MAX_EVENT_BYTES = Watson_IOTP::IOTP_Client::MAX_PAYLOAD_BYTES;

}  // namespace

EventPublisher::EventPublisher(Watson_IOTP::IOTP_GatewayClient& client, Poco::UInt32 gatewayDevice,
                               const std::string& consolePrefix, OutageQueue* pQueue,
                               const PublishRateLimit& limit)
    : _client(client),
      _pQueue(pQueue),
      _limit(limit),
      _gatewayDevice(gatewayDevice),
      _consolePrefix(consolePrefix)
{
}

void EventPublisher::publishValues(const DataObjectKey& object, const DataWatsonKey& watson,
                                   const std::vector<EventText::NamedValue>& values)
{
    std::string text = EventText::values(watson.propertyId, values);
    if (text.size() > MAX_EVENT_BYTES)
    {
        text = eventWithinLimit(object, watson, values);
    }
    if (text.empty())
    {
        return;
    }
    // The gateway's own events go without device names.
    const bool ofGateway = object.deviceInstance == _gatewayDevice;
    const std::string deviceType = ofGateway ? "" : watson.deviceType;
    const std::string deviceId = ofGateway ? "" : watson.deviceId;
    // The object is the point whose newest value supersedes a waiting one.
    const OutageQueue::Message event{Poco::Timestamp(),
                                     {deviceType, deviceId, text, std::to_string(object.getKey())}};
    if (_limit.limits())
    {
        _limit.offer(event.texts.at(3), event, text.size());
        return;
    }
    sendValueEvent(event);
}

long EventPublisher::releaseDue(long wait)
{
    return _limit.release(wait, [this](const OutageQueue::Message& event) { sendValueEvent(event); });
}

void EventPublisher::sendValueEvent(const OutageQueue::Message& event)
{
    if (_pQueue != nullptr && (!_client.isConnected() || !_pQueue->empty()))
    {
        _pQueue->push(event);
        return;
    }
    publishValueEvent(event.texts.at(0), event.texts.at(1), event.texts.at(2));
}

void EventPublisher::publishValueEvent(const std::string& deviceType, const std::string& deviceId,
                                       const std::string& text)
{
    if (deviceType.empty())
    {
        _client.publishGatewayEvent(EventText::_COV_EVENT, EventText::_FORMAT, text, EVENT_QOS);
    }
    else
    {
        _client.publishDeviceEvent(deviceType, deviceId, EventText::_COV_EVENT, EventText::_FORMAT, text,
                                   EVENT_QOS);
    }
}

void EventPublisher::replayQueued()
{
    if (_pQueue == nullptr)
    {
        return;
    }
    if (const std::string dropped = _pQueue->takeDroppedReport("events"); !dropped.empty())
    {
        std::cout << _consolePrefix << dropped << std::endl;
    }
    // A connection lost on the way leaves the rest for the next connect.
    _pQueue->replay(
        [this](const OutageQueue::Message& message)
        {
            if (!_client.isConnected())
            {
                return false;
            }
            OutageQueue::Message replayed = message;
            replayed.texts.at(2) = EventText::replayed(message.texts.at(2), EventText::isoTime(message.time));
            if (_limit.limits())
            {
                _limit.offer(replayed.texts.at(3), replayed, replayed.texts.at(2).size());
            }
            else
            {
                publishValueEvent(replayed.texts.at(0), replayed.texts.at(1), replayed.texts.at(2));
            }
            return true;
        });
}

std::string EventPublisher::eventWithinLimit(const DataObjectKey& object, const DataWatsonKey& watson,
                                             const std::vector<EventText::NamedValue>& values) const
{
    // The values that fit, in their order; an empty text when none does.
    std::vector<EventText::NamedValue> kept;
    for (const EventText::NamedValue& value : values)
    {
        kept.push_back(value);
        if (EventText::values(watson.propertyId, kept).size() > MAX_EVENT_BYTES)
        {
            kept.pop_back();
            std::cout << _consolePrefix << "left out " << value.first << " of "
                      << object.objectIdentifier.toString() << " of device " << object.deviceInstance
                      << ": the event would be larger than the platform's limit of " << MAX_EVENT_BYTES
                      << " bytes" << std::endl;
        }
    }
    return kept.empty() ? std::string() : EventText::values(watson.propertyId, kept);
}

void EventPublisher::publishBACnetWsReply(const BACnetWsHandler& handler)
{
    std::string text = handler.failed() ? EventText::bacnetWsFailure(handler.bacnetWsError)
                                        : EventText::bacnetWsReply(handler.bacnetWsResponse);
    if (text.size() > MAX_EVENT_BYTES)
    {
        const std::string problem = "the answer of " + std::to_string(handler.bacnetWsResponse.size()) +
                                    " bytes is larger than the platform's limit of " +
                                    std::to_string(MAX_EVENT_BYTES) + " bytes";
        std::cout << _consolePrefix << "BACnet/WS answer left out: " << problem << std::endl;
        text = EventText::bacnetWsFailure(problem);
    }
    _client.publishGatewayEvent(EventText::_BACNET_WS + "-" + handler.watsonClientId, EventText::_FORMAT,
                                text, EVENT_QOS);
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
