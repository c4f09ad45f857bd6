#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/AppMqttBridge.h"

#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_BACnetClient/NotificationRequestRPM.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "Orvik_BACnetClient/NotificationResponseDeviceAccess.h"
#include "Orvik_BACnetClient/NotificationResponseObjectAccess.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/PointMessages.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <iostream>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

using Orvik::BACnet::Client::DataError;
using Orvik::BACnet::Client::DataPropertyKey;
using Orvik::BACnet::Client::DataPropertyRef;
using Orvik::BACnet::Client::DataResponseCOV;
using Orvik::BACnet::Client::DataResponseRPM;
using Orvik::BACnet::Client::NotificationRequestRPM;
using Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference;
using Orvik::BACnet::DataType::ObjectIdentifier;
using WatsonMQTT::ObjectIdentities;

namespace
{

const std::string APP_NAME = "AppMqttBridge ";
const std::string ONLINE = "online";
const std::string OFFLINE = "offline";

bool hasPresentValue(BACNET_OBJECT_TYPE type)
{
    return type != OBJECT_TREND_LOG && type != OBJECT_TREND_LOG_MULTIPLE && type != OBJECT_STRUCTURED_VIEW;
}

bool isReported(const DataResponseCOV::Value&)
{
    return true;
}

bool isReported(const DataResponseRPM::Value& value)
{
    return !value.hasError();
}

/// The answer to a SubscribeCOV (T = int) or its refusal (T = DataError); null for any other notification.
template <class T>
const Orvik::BACnet::Client::NotificationResponsePropertyAccess<T>* subscriptionAnswer(
    const Poco::Notification* p)
{
    const auto* pAnswer =
        dynamic_cast<const Orvik::BACnet::Client::NotificationResponsePropertyAccess<T>*>(p);
    return pAnswer != nullptr && pAnswer->getResponseAction() == Orvik::Utility::Notification::SUBSCRIBE
               ? pAnswer
               : nullptr;
}

BACnetDeviceObjectPropertyReference polledReference(const Orvik::BACnet::Client::DataPropertyKey& key)
{
    return BACnetDeviceObjectPropertyReference(key.objectIdentifier, key.propertyRef.propertyIdentifier,
                                               BACNET_ARRAY_ALL,
                                               ObjectIdentifier(OBJECT_DEVICE, key.deviceInstance));
}

}  // namespace

AppMqttBridge::AppMqttBridge(Poco::Int32 idAppInstance, const WatsonMQTT::DataBridgeTimings& timings)
    : AppBase(idAppInstance), _timings(timings), _subscriptions(_setup.covParams)
{
}

bool AppMqttBridge::descRun()
{
    const Poco::UInt32 gatewayDevice = dbGetParentBACnetDeviceInstance(idAppInstance);
    std::vector<ValueContainer> values;
    getProperties(values);
    if (!_settings.read(values, gatewayDevice, _objects, APP_NAME))
    {
        throw Poco::InvalidArgumentException("One or more connection parameters missing");
    }
    if (_objects.empty())
    {
        return false;
    }
    _setup.covParams.lifetime = _settings.covLifetimeSeconds;
    _pTopics = std::make_unique<PointTopics>(_settings.prefix);
    _pQueue = WatsonMQTT::OutageQueue::besideDatabase(
        "mqtt-bridge-" + std::to_string(idAppInstance) + ".queue", _settings.outageQueueMegabytes);
    _pLimit =
        std::make_unique<WatsonMQTT::PublishRateLimit>(_settings.messagesPerSecond, _settings.bytesPerSecond);
    requestUnits(false);
    _subscriptions.renewed();
    _pClient = std::make_unique<BrokerClient>(
        _settings.connection, _pTopics->statusTopic(), OFFLINE,
        [this](const std::string& topic, const std::string& payload, const std::string& correlation)
        { receiveCommand(topic, payload, correlation); });
    try
    {
        runLoop();
    }
    catch (const std::exception& error)
    {
        std::cout << APP_NAME << "exception, restarting: " << error.what() << std::endl;
        _pClient.reset();
        return true;
    }
    if (_pClient->isConnected())
    {
        _pClient->publish(_pTopics->statusTopic(), OFFLINE, true);
    }
    _pClient->disconnect();
    _pClient.reset();
    return false;
}

std::string AppMqttBridge::statusText() const
{
    return _brokerConnected ? "broker connected" : "broker not connected";
}

// ---- run loop -----------------------------------------------------------------------------------

void AppMqttBridge::runLoop()
{
    long wait = _subscriptions.renewalWaitMs();
    for (;;)
    {
        wait = checkConnection(wait);
        if (_life.renewalDue(_subscriptions))
        {
            renewSubscriptions();
        }
        const long untilPoll =
            isStopping() ? wait
                         : _polls.pollDue(wait, [this](const WatsonMQTT::DataPolledProperty& polled,
                                                       std::size_t index) { pollValue(polled, index); });
        const long untilRelease =
            _pLimit->release(untilPoll, [this](const WatsonMQTT::OutageQueue::Message& message)
                             { sendValue(message.texts.at(0), message.texts.at(1)); });
        const Poco::AutoPtr<Poco::Notification> pNf = waitDequeueNotification(untilRelease);
        if (pNf.isNull())
        {
            if (isStopping())
            {
                return;
            }
            continue;
        }
        dispatch(pNf);
        // A device that goes on sending after the cancellation must not keep the app from ending.
        if (_life.drainOutlasted(_timings.drainLimitMs))
        {
            return;
        }
    }
}

long AppMqttBridge::checkConnection(long wait)
{
    if (isStopping())
    {
        return _timings.quietDrainMs;
    }
    _brokerConnected = _pClient->isConnected();
    if (_brokerConnected)
    {
        return wait;
    }
    // Values arrive many times a second: not an attempt for each.
    const long sinceAttempt = static_cast<long>(_lastAttempt.elapsed() / 1000);
    if (_outageReported && sinceAttempt < _timings.reconnectWaitMs)
    {
        return _timings.reconnectWaitMs - sinceAttempt;
    }
    _lastAttempt.update();
    if (!_pClient->connect())
    {
        if (!_outageReported)
        {
            std::cout << APP_NAME << "cannot connect to " << _settings.connection.url << ": "
                      << _pClient->failure() << std::endl;
            _outageReported = true;
        }
        return _timings.reconnectWaitMs;
    }
    announceOnline();
    _outageReported = false;
    _brokerConnected = true;
    return _subscriptions.renewalWaitMs();
}

void AppMqttBridge::announceOnline()
{
    std::cout << APP_NAME << "connected to " << _settings.connection.url << std::endl;
    // Online once commands are taken; values of the outage then go before any newer one.
    const auto objects = _objects.objects();
    if (std::any_of(objects.begin(), objects.end(),
                    [this](const DataObjectKey& object)
                    { return (_objects.flagsOf(object) & ObjectIdentities::F_SUBSCRIBE) != 0; }))
    {
        _pClient->subscribe(_pTopics->commandFilter());
    }
    _pClient->publish(_pTopics->statusTopic(), ONLINE, true);
    replayQueue();
}

void AppMqttBridge::replayQueue()
{
    if (!_pQueue)
    {
        return;
    }
    if (const std::string dropped = _pQueue->takeDroppedReport("values"); !dropped.empty())
    {
        std::cout << APP_NAME << dropped << std::endl;
    }
    // A connection lost on the way leaves the rest for the next connect.
    _pQueue->replay(
        [this](const WatsonMQTT::OutageQueue::Message& message)
        {
            if (!_pClient->isConnected())
            {
                return false;
            }
            const std::string payload = WatsonMQTT::EventText::replayed(message.texts.at(1), "");
            if (_pLimit->limits())
            {
                _pLimit->offer(message.texts.at(0), {message.time, {message.texts.at(0), payload}},
                               message.texts.at(0).size() + payload.size());
            }
            else
            {
                _pClient->publish(message.texts.at(0), payload, _settings.retainValues);
            }
            return true;
        });
}

void AppMqttBridge::publishValue(const std::string& topic, const std::string& payload)
{
    // One point, one topic: a value waiting for its turn gives way to a newer one.
    if (_pLimit->limits())
    {
        _pLimit->offer(topic, {Poco::Timestamp(), {topic, payload}}, topic.size() + payload.size());
        return;
    }
    sendValue(topic, payload);
}

void AppMqttBridge::sendValue(const std::string& topic, const std::string& payload)
{
    // Behind queued values, a new one waits its turn.
    if (_pQueue && (!_pClient->isConnected() || !_pQueue->empty()))
    {
        _pQueue->push({Poco::Timestamp(), {topic, payload}});
        return;
    }
    _pClient->publish(topic, payload, _settings.retainValues);
}

void AppMqttBridge::renewSubscriptions()
{
    if (_life.renew(_subscriptions, *this, _objects) && _silent.any())
        requestUnits(true);
}

void AppMqttBridge::dispatch(const Poco::AutoPtr<Poco::Notification>& pNf)
{
    using namespace Orvik::BACnet::Client;
    const Poco::Notification* p = pNf.get();
    if (const auto* pCov = dynamic_cast<const NotificationResponse<DataResponseCOV>*>(p))
    {
        publishCov(pCov->getResponse());
    }
    else if (const auto* pCommand = dynamic_cast<const NotificationSetCommand*>(p))
    {
        carryOut(*pCommand);
    }
    else if (const auto* pSubscribed = subscriptionAnswer<int>(p))
    {
        covAccepted(pSubscribed->getPropertyKey());
    }
    else if (const auto* pCovRefused = subscriptionAnswer<DataError>(p))
    {
        covRefused(pCovRefused->getPropertyKey(), pCovRefused->getResponse());
    }
    else if (const auto* pWritten = dynamic_cast<const NotificationResponsePropertyAccess<int>*>(p))
    {
        writeAnswered(pWritten->getRequestId(), "");
    }
    else if (const auto* pRefused = dynamic_cast<const NotificationResponseObjectAccess<DataError>*>(p))
    {
        writeAnswered(pRefused->getRequestId(), pRefused->getResponse().getString());
    }
    else if (const auto* pRpm =
                 dynamic_cast<const NotificationResponseDeviceAccess<std::vector<DataResponseRPM>>*>(p))
    {
        if (const WatsonMQTT::DataPolledProperty* pPolled = _polls.answered(pRpm->getRequestId()))
        {
            publishPolled(*pPolled, pRpm->getResponse());
        }
        else
        {
            _silent.answered(pRpm->getRequestId());
            unitsAnswered(pRpm->getDeviceInstance(), pRpm->getResponse());
        }
    }
    else if (const auto* pFailed = dynamic_cast<const NotificationResponseDeviceAccess<DataError>*>(p))
    {
        // A failed reading is not published, as the cloud bridge does: the next one is due at the poll
        // interval anyway.
        if (_polls.answered(pFailed->getRequestId()) == nullptr)
            unitsFailed(pFailed->getRequestId(), pFailed->getResponse());
    }
    else
    {
        handleStopRequest(pNf);
    }
}

void AppMqttBridge::handleStopRequest(const Poco::AutoPtr<Poco::Notification>& pNf)
{
    if (!isStopping() && handleNotification(pNf))
    {
        _life.stopRequested();
    }
}

// ---- values -------------------------------------------------------------------------------------

void AppMqttBridge::requestUnits(bool ofFailedDevicesOnly)
{
    const std::set<Poco::UInt32> silent = _silent.takeSilent();
    std::map<Poco::UInt32, std::vector<NotificationRequestRPM::Parameter>> requests;
    for (const DataObjectKey& object : _objects.objects())
    {
        if ((_objects.flagsOf(object) & ObjectIdentities::F_PUBLISH) == 0 ||
            (ofFailedDevicesOnly && silent.count(object.deviceInstance) == 0))
        {
            continue;
        }
        if (!hasPresentValue(object.getObjectType()))
        {
            if (ofFailedDevicesOnly)
                continue;  // said at the start
            std::cout << APP_NAME << "left out " << object.objectIdentifier.toString() << " of device "
                      << object.deviceInstance << ": it has no present value" << std::endl;
            continue;
        }
        requests[object.deviceInstance].emplace_back(
            object.objectIdentifier, std::vector<DataPropertyRef>{DataPropertyRef(PROP_UNITS)});
    }
    for (const auto& [device, parameters] : requests)
    {
        _silent.asked(asyncRPM(device, parameters), device);
    }
}

void AppMqttBridge::unitsFailed(Poco::UInt32 requestId, const DataError& error)
{
    if (const std::string line = _silent.failed(requestId, error); !line.empty())
        std::cout << APP_NAME << line << std::endl;
}

void AppMqttBridge::unitsAnswered(Poco::UInt32 deviceInstance, const std::vector<DataResponseRPM>& responses)
{
    if (isStopping())
    {
        return;  // no new subscriptions after the cancelling pass
    }
    for (const DataResponseRPM& response : responses)
    {
        const DataObjectKey object(deviceInstance, response.objectIdentifier);
        std::string& units = _units[object];
        for (const DataResponseRPM::Value& value : response.values)
        {
            // Binary and multi-state objects have no units.
            if (value.propertyRef.propertyIdentifier == PROP_UNITS && !value.hasError())
            {
                units = ProtocolText::engineeringUnitName(value.value.getEnum());
            }
        }
        _objects.followByCov(object,
                             WatsonMQTT::DataCOVSubscriber(PROP_PRESENT_VALUE, WatsonMQTT::DataWatsonKey()));
        _subscriptions.subscribe(*this, object, PROP_PRESENT_VALUE, false);
    }
}

void AppMqttBridge::covAccepted(const DataPropertyKey& key)
{
    if (_polls.stop(polledReference(key)))
    {
        std::cout << APP_NAME << "follows " << key.objectIdentifier.toString() << " of device "
                  << key.deviceInstance << " by COV again" << std::endl;
    }
}

void AppMqttBridge::covRefused(const DataPropertyKey& key, const DataError& error)
{
    // The renewals try COV again; until one is accepted the value is read every poll interval.
    if (isStopping() || _objects.covSubscriber(key) == nullptr ||
        !_polls.addOnce(WatsonMQTT::DataPolledProperty(_settings.pollIntervalSeconds, polledReference(key),
                                                       WatsonMQTT::DataWatsonKey())))
    {
        return;
    }
    std::cout << APP_NAME << key.objectIdentifier.toString() << " of device " << key.deviceInstance
              << " refused COV (" << error.getString() << "): "
              << (_settings.pollIntervalSeconds == 0
                      ? std::string("not published, polling is off")
                      : "read every " + std::to_string(_settings.pollIntervalSeconds) + " s")
              << std::endl;
}

void AppMqttBridge::pollValue(const WatsonMQTT::DataPolledProperty& polled, std::size_t index)
{
    // The status flags come along, as in a COV notification.
    const NotificationRequestRPM::Parameter read(
        polled.bacnet.getObjectIdentifier(),
        {DataPropertyRef(polled.bacnet.getPropertyIdentifier()), DataPropertyRef(PROP_STATUS_FLAGS)});
    _polls.expect(asyncRPM(polled.bacnet.getDeviceIdentifier().getInstance(), {read}), index);
}

template <class Values>
void AppMqttBridge::publishPoint(const DataObjectKey& object, BACNET_PROPERTY_ID property,
                                 const Values& values)
{
    const ValueContainer* pValue = nullptr;
    const ValueContainer* pStatusFlags = nullptr;
    for (const auto& value : values)
    {
        if (!isReported(value))
        {
            continue;
        }
        if (value.propertyRef.propertyIdentifier == property)
        {
            pValue = &value.value;
        }
        else if (value.propertyRef.propertyIdentifier == PROP_STATUS_FLAGS)
        {
            pStatusFlags = &value.value;
        }
    }
    if (pValue != nullptr)
    {
        publishValue(_pTopics->valueTopic(object, property),
                     PointMessages::value(*pValue, _units[object], pStatusFlags, Poco::Timestamp()));
    }
}

void AppMqttBridge::publishPolled(const WatsonMQTT::DataPolledProperty& polled,
                                  const std::vector<DataResponseRPM>& responses)
{
    const DataObjectKey object(polled.bacnet.getDeviceIdentifier().getInstance(),
                               polled.bacnet.getObjectIdentifier());
    for (const DataResponseRPM& response : responses)
    {
        publishPoint(object, polled.bacnet.getPropertyIdentifier(), response.values);
    }
}

void AppMqttBridge::publishCov(const DataResponseCOV& response)
{
    const DataObjectKey object(response.initiatingDeviceInstance, response.monitoredObjectIdentifier);
    const WatsonMQTT::DataCOVSubscriber* pSubscriber = _objects.covSubscriber(object);
    if (pSubscriber == nullptr)
    {
        return;  // not a subscription of this bridge
    }
    publishPoint(object, pSubscriber->bacnetPropertyIdentifier, response.values);
}

// ---- commands -----------------------------------------------------------------------------------

void AppMqttBridge::receiveCommand(const std::string& topic, const std::string& payload,
                                   const std::string& correlation)
{
    // The MQTT client's thread: the command is checked and carried out on the app's.
    if (!isStopping())
    {
        getReadQueue()->enqueueNotification(new NotificationSetCommand(topic, payload, correlation));
    }
}

void AppMqttBridge::carryOut(const NotificationSetCommand& command)
{
    const PendingCommand pending{command.topic + "/" + PointTopics::_RESULT, command.correlation};
    try
    {
        DataObjectKey object;
        std::string propertyName;
        if (!_pTopics->parseCommand(command.topic, object, propertyName) ||
            (_objects.flagsOf(object) & ObjectIdentities::F_SUBSCRIBE) == 0)
        {
            throw Poco::NotFoundException("Unknown object reference: " +
                                          WatsonMQTT::EventText::jsonString(command.topic));
        }
        const WatsonMQTT::DataCheckedCommand::Write write =
            PointMessages::command(object, propertyName, command.payload);
        _pendingCommands[asyncWP(write.target, write.priority, write.value)] = pending;
    }
    catch (const Poco::Exception& error)
    {
        const std::string why = error.message().empty() ? error.displayText() : error.message();
        std::cout << APP_NAME << "command error: " << why << std::endl;
        publishResult(pending, why);
    }
}

void AppMqttBridge::writeAnswered(Poco::UInt32 requestId, const std::string& error)
{
    const auto found = _pendingCommands.find(requestId);
    if (found != _pendingCommands.end())
    {
        publishResult(found->second, error);
        _pendingCommands.erase(found);
    }
}

void AppMqttBridge::publishResult(const PendingCommand& command, const std::string& error)
{
    _pClient->publish(command.resultTopic, PointMessages::result(error), false, command.correlation);
}

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
