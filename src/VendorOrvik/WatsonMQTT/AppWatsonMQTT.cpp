#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/AppWatsonMQTT.h"

#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"
#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/NotificationRequestRPM.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "Orvik_BACnetClient/NotificationResponseDeviceAccess.h"
#include "Orvik_BACnetClient/NotificationResponseObjectAccess.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"
#include "Orvik_Watson/BrokerAddress.h"
#include "Orvik_Watson/IOTP_Client.h"
#include "Orvik_Watson/Topics.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BACnetWsHandler.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/NotificationBACnetWsDone.h"

#include <Poco/Exception.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/JSONException.h>
#include <Poco/JSON/ParseHandler.h>
#include <Poco/JSON/Parser.h>
#include <Poco/JSON/Stringifier.h>
#include <Poco/NumberFormatter.h>
#include <Poco/String.h>
#include <Poco/StringTokenizer.h>

#include <algorithm>
#include <iostream>
#include <sstream>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

using Orvik::BACnet::Client::DataObjectKey;
using Orvik::BACnet::Client::DataPropertyKey;
using Orvik::BACnet::Client::DataPropertyRef;
using Orvik::BACnet::Client::DataResponseCOV;
using Orvik::BACnet::Client::DataResponseRPM;
using Orvik::BACnet::Client::NotificationRequestRPM;
using Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference;
using Orvik::BACnet::DataType::BACnetDeviceObjectReference;
using Orvik::BACnet::DataType::ObjectIdentifier;

namespace
{

const std::string APP_NAME = "AppWatsonMQTT ";
const std::string COV_EVENT = "COV";
const std::string JSON_FORMAT = "json";
const std::string BACNET_WS_COMMAND = "bacnet-ws";
const int EVENT_QOS = 1;
const Poco::UInt32 DEFAULT_HALF_LIFETIME_SECONDS = DataSetupParams::_DEFAULT_LIFETIME_SECONDS / 2;

/// The COV key: the device's encoded object identifier in the high half, the object's in the low half.
Poco::UInt64 covKeyOf(Poco::UInt32 deviceInstance, Poco::UInt32 objectIdentifier)
{
    const Poco::UInt32 device =
        (static_cast<Poco::UInt32>(OBJECT_DEVICE) << 22) | (deviceInstance & 0x3FFFFF);
    return (static_cast<Poco::UInt64>(device) << 32) | objectIdentifier;
}

/// Trend logs and structured views may lack a COV increment without losing COV support.
bool isLogOrView(BACNET_OBJECT_TYPE type)
{
    return type == OBJECT_TREND_LOG || type == OBJECT_TREND_LOG_MULTIPLE || type == OBJECT_STRUCTURED_VIEW;
}

bool isUnknownProperty(const Orvik::BACnet::Client::DataError& error)
{
    return error.errorClass == ERROR_CLASS_PROPERTY && error.errorCode == ERROR_CODE_UNKNOWN_PROPERTY;
}

/// RFC 9110 token characters: what an HTTP method consists of (one at least).
bool isHttpMethod(const std::string& method)
{
    return !method.empty() &&
           std::all_of(method.begin(), method.end(),
                       [](char c)
                       {
                           return std::isalnum(static_cast<unsigned char>(c)) ||
                                  std::string("!#$%&'*+-.^_`|~").find(c) != std::string::npos;
                       });
}

/// A request target is visible ASCII (other characters are percent-encoded): a blank or a control
/// character would end the request line, and an empty target would leave it malformed.
bool isHttpPath(const std::string& path)
{
    return !path.empty() && std::all_of(path.begin(), path.end(),
                                        [](char c)
                                        {
                                            const auto byte = static_cast<unsigned char>(c);
                                            return byte > 0x20 && byte < 0x7F;
                                        });
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

}  // namespace

AppWatsonMQTT::AppWatsonMQTT(Poco::Int32 idAppInstance) : AppBase(idAppInstance) {}

AppWatsonMQTT::~AppWatsonMQTT()
{
    // Jobs still running post into this app's queue: they must end before the queue goes.
    Poco::ThreadPool* pPool = nullptr;
    {
        std::lock_guard<std::mutex> lock(_threadPoolMutex);
        pPool = _pBACnetWsThreadPool.get();
    }
    if (pPool != nullptr)
    {
        pPool->joinAll();
    }
}

const std::string& AppWatsonMQTT::appName() const
{
    return APP_NAME;
}

Poco::UInt64 AppWatsonMQTT::getKey(Poco::UInt32 deviceInstance, Poco::UInt32 objectIdentifier)
{
    return (static_cast<Poco::UInt64>(deviceInstance) << 32) | objectIdentifier;
}

void AppWatsonMQTT::getKey(Poco::UInt64 key, Poco::UInt32& deviceInstance, Poco::UInt32& objectIdentifier)
{
    deviceInstance = static_cast<Poco::UInt32>(key >> 32);
    objectIdentifier = static_cast<Poco::UInt32>(key & 0xFFFFFFFF);
}

// ---- parameters ---------------------------------------------------------------------------------

bool AppWatsonMQTT::descRun()
{
    _deviceInstanceGW = dbGetParentBACnetDeviceInstance(idAppInstance);
    {
        std::vector<ValueContainer> values;
        getProperties(values);
        ValueIterator it = values.begin();
        if (!initWatsonConnectionParameters(it, values.end()))
        {
            throw Poco::InvalidArgumentException("One or more connection parameters missing");
        }
        initBACnetSetupParameters(it, values.end());
        initKeyFlags(it, values.end(), F_PUBLISH);
        initKeyFlags(it, values.end(), F_SUBSCRIBE);
    }
    if (_keyFlags.empty())
    {
        return false;
    }
    bacnetRequestProperties();
    _renewalClock.update();
    _pWatsonClient = std::make_unique<Orvik::MQTT::Watson::GatewayClient>(_connection);
    try
    {
        runLoop();
    }
    catch (...)
    {
        std::cout << "BACnet to Watson IoT Exception ignored" << std::endl;
        _pWatsonClient.reset();
        return true;
    }
    _pWatsonClient->disconnect();
    _pWatsonClient.reset();
    return false;
}

bool AppWatsonMQTT::initWatsonConnectionParameters(ValueIterator& it, ValueIterator end)
{
    using Setter = void (Orvik::MQTT::Watson::DataConnection::*)(const std::string&);
    struct Text
    {
        Setter setter;
        bool fatal;
    };
    const Text texts[] = {{&Orvik::MQTT::Watson::DataConnection::setOrgId, true},
                          {&Orvik::MQTT::Watson::DataConnection::setDomain, false},
                          {&Orvik::MQTT::Watson::DataConnection::setDeviceType, true},
                          {&Orvik::MQTT::Watson::DataConnection::setDeviceId, true},
                          {&Orvik::MQTT::Watson::DataConnection::setAuthMethod, false},
                          {&Orvik::MQTT::Watson::DataConnection::setAuthToken, true}};
    bool complete = true;
    for (const Text& text : texts)
    {
        if (it == end)
        {
            return false;
        }
        if (it->isNull())
        {
            complete = complete && !text.fatal;
        }
        else
        {
            (_connection.*text.setter)(it->getCharString());
        }
        ++it;
    }
    if (it == end)
    {
        return false;
    }
    const bool portConfigured = !it->isNull();
    if (portConfigured)
    {
        const int port =
            it->getBool() ? Watson_IOTP::BrokerAddress::SECURE_PORT : Watson_IOTP::BrokerAddress::PLAIN_PORT;
        _connection.setPort(port);
        // The port dialled: a domain that names a local broker may carry a port of its own.
        std::cout << "Port used: " << Watson_IOTP::BrokerAddress(_connection, port).port() << std::endl;
    }
    ++it;
    return complete && portConfigured && isUsableGateway();
}

bool AppWatsonMQTT::isUsableGateway() const
{
    // The gateway's type and id name every topic of the gateway, and with the organisation they make
    // the MQTT client id: unusable ones can never connect.
    std::string problem =
        identityProblem(DataWatsonKey(_connection.getDeviceType(), _connection.getDeviceId(), "-"));
    if (problem.empty() && !Watson_IOTP::Topics::isValidLevel(_connection.getOrgId()))
    {
        problem = "the organisation id cannot be part of an MQTT client id";
    }
    if (!problem.empty())
    {
        std::cout << appName() << "gateway parameters not usable: " << problem << std::endl;
    }
    return problem.empty();
}

void AppWatsonMQTT::initBACnetSetupParameters(ValueIterator& it, ValueIterator end)
{
    if (it == end)
    {
        return;
    }
    if (!it->isNull())
    {
        _setupParamsBACnet.covParams.lifetime = it->getUInt();
    }
    if (++it == end)
    {
        return;
    }
    if (!it->isNull())
    {
        _setupParamsBACnet.pollRateSeconds = it->getUInt();
    }
    ++it;
}

void AppWatsonMQTT::initKeyFlags(ValueIterator& it, ValueIterator end, Flags flag)
{
    if (it == end)
    {
        return;
    }
    std::vector<BACnetDeviceObjectReference> references;
    it->getValues(references);
    ++it;
    std::sort(references.begin(), references.end(),
              [](const auto& a, const auto& b) { return a.getKey() < b.getKey(); });
    for (const BACnetDeviceObjectReference& reference : references)
    {
        // A reference without device names an object of the controller's own device.
        const Poco::UInt32 device = reference.hasDevice() ? reference.getDeviceInstance() : _deviceInstanceGW;
        _keyFlags[getKey(device, reference.getObjectIdentifier().getEncoded())] |= flag;
    }
}

// ---- run loop -----------------------------------------------------------------------------------

void AppWatsonMQTT::runLoop()
{
    long wait = renewalWaitMs();
    for (;;)
    {
        wait = checkConnection(wait);
        if (renewalDue())
        {
            renewSubscriptions();
        }
        const Poco::AutoPtr<Poco::Notification> pNf = waitDequeueNotification(pollDueProperties(wait));
        if (pNf.isNull())
        {
            if (_shuttingDown != 0)
            {
                return;
            }
            continue;
        }
        dispatch(pNf);
        // A device that goes on sending after the cancellation must not keep the app from ending.
        if (_shuttingDown > 1 && _drainClock.isElapsed(_DRAIN_LIMIT_MS * 1000))
        {
            return;
        }
    }
}

long AppWatsonMQTT::checkConnection(long wait)
{
    if (_shuttingDown != 0)
    {
        return _DRAIN_WAIT_MS;
    }
    if (_pWatsonClient->isConnected())
    {
        return wait;
    }
    std::cout << "Watson no connection" << std::endl;
    if (!_pWatsonClient->connect())
    {
        return _RETRY_WAIT_MS;
    }
    std::cout << "A) Watson connected" << std::endl;
    _pWatsonClient->setCommandHandler(this);
    subscribeCommands();
    std::cout << "B) Watson connected" << std::endl;
    return renewalWaitMs();
}

void AppWatsonMQTT::subscribeCommands()
{
    _pWatsonClient->subscribeGatewayCommands();
    // Copied first: each subscription waits for the broker, and the MQTT thread may need the map
    // meanwhile to deliver a command.
    std::vector<std::string> keys;
    {
        std::lock_guard<std::mutex> lock(_commandableMutex);
        for (const auto& entry : _commandableObjects)
        {
            keys.push_back(entry.first);
        }
    }
    for (const std::string& key : keys)
    {
        const DataWatsonKey watson(key);
        _pWatsonClient->subscribeDeviceCommands(watson.deviceType, watson.deviceId);
    }
}

bool AppWatsonMQTT::renewalDue() const
{
    const Poco::UInt32 lifetime = _setupParamsBACnet.covParams.lifetime;
    // Half the lifetime, at least a second; a subscription without time limit (0) needs no renewal.
    const Poco::Clock::ClockDiff period =
        static_cast<Poco::Clock::ClockDiff>(std::max<Poco::UInt32>(lifetime / 2, 1)) * 1000000;
    return (_shuttingDown == 0 && lifetime != 0 && _renewalClock.isElapsed(period)) || _shuttingDown == 1;
}

void AppWatsonMQTT::renewSubscriptions()
{
    const bool cancel = _shuttingDown != 0;
    for (const auto& entry : _publishedCovObjects)
    {
        bacnetCovSubscribe(entry.first, entry.second.bacnetPropertyIdentifier, cancel);
    }
    if (cancel)
    {
        ++_shuttingDown;
        _drainClock.update();
    }
    else
    {
        _renewalClock.update();
    }
}

long AppWatsonMQTT::renewalWaitMs() const
{
    const Poco::UInt32 lifetime = _setupParamsBACnet.covParams.lifetime;
    const Poco::UInt64 halfLifetime =
        lifetime == 0 ? DEFAULT_HALF_LIFETIME_SECONDS : std::max<Poco::UInt32>(lifetime / 2, 1);
    return static_cast<long>(std::min<Poco::UInt64>(halfLifetime * 1000, _MAX_WAIT_MS));
}

long AppWatsonMQTT::pollDueProperties(long wait)
{
    if (_shuttingDown != 0)
    {
        return wait;
    }
    const Poco::Clock now;
    for (std::size_t i = 0; i < _publishedPolledPorps.size(); ++i)
    {
        const DataPolledProperty& polled = _publishedPolledPorps[i];
        if (polled.pollFrequencySeconds == 0)
        {
            continue;
        }
        if (now >= _nextPolls[i])
        {
            pollProperty(i);
            _nextPolls[i] = now;
            _nextPolls[i] += static_cast<Poco::Clock::ClockDiff>(polled.pollFrequencySeconds) * 1000000;
        }
        const Poco::Clock::ClockDiff untilDue = (_nextPolls[i] - now) / 1000 + 1;
        wait = static_cast<long>(std::min<Poco::Clock::ClockDiff>(wait, untilDue));
    }
    return wait;
}

void AppWatsonMQTT::pollProperty(std::size_t index)
{
    const DataPolledProperty& polled = _publishedPolledPorps[index];
    const Poco::UInt32 device = polled.bacnet.getDeviceIdentifier().getInstance();
    const BACNET_PROPERTY_ID property = polled.bacnet.getPropertyIdentifier();
    if (property != PROP_LOG_BUFFER)
    {
        const NotificationRequestRPM::Parameter read(polled.bacnet.getObjectIdentifier(),
                                                     {DataPropertyRef(property)});
        _pollRequests[asyncRPM(device, {read})] = index;
        return;
    }
    // A log buffer cannot be read whole (devices deny it); its newest record is what changed: the
    // newest one recorded before now.
    Orvik::BACnet::Client::ReadRange::Range newest;
    newest.requestType = Orvik::BACnet::Client::ReadRange::RT_BY_TIME;
    newest.refTime = DataType::BACnetDateTime(Poco::Timestamp());
    newest.count = -1;
    Orvik::BACnet::Client::ReadRangeAck::Result result;
    const DataPropertyKey key(device, polled.bacnet.getObjectIdentifier(), DataPropertyRef(PROP_LOG_BUFFER));
    if (syncRR(key, newest, result) == SYNC_RESULT_SUCCESS && result.itemCnt > 0)
    {
        publishValues(polled.bacnet.getObjectIdentifier(), device, polled.watson,
                      {{ProtocolText::propertyName(PROP_LOG_BUFFER), result.value.getText()}});
    }
}

void AppWatsonMQTT::dispatch(const Poco::AutoPtr<Poco::Notification>& pNf)
{
    using namespace Orvik::BACnet::Client;
    const Poco::Notification* p = pNf.get();
    if (const auto* pCov = dynamic_cast<const NotificationResponse<DataResponseCOV>*>(p))
    {
        watsonPublishCovResponse(pCov->getResponse());
    }
    else if (const auto* pDone = dynamic_cast<const NotificationBACnetWsDone*>(p))
    {
        watsonPublishBACnetWsResponse(*pDone->pBACnetWsHandler);
    }
    else if (dynamic_cast<const NotificationResponsePropertyAccess<int>*>(p) != nullptr ||
             dynamic_cast<const NotificationResponseObjectAccess<DataError>*>(p) != nullptr)
    {
        // Acknowledgements and refusals of writes and subscriptions need no action.
    }
    else if (const auto* pRpm =
                 dynamic_cast<const NotificationResponseDeviceAccess<std::vector<DataResponseRPM>>*>(p))
    {
        if (_pollRequests.count(pRpm->getRequestId()) > 0)
        {
            watsonPublishPolledValues(pRpm->getRequestId(), pRpm->getResponse());
        }
        else
        {
            bacnetRequestPropertiesResult(pRpm->getDeviceInstance(), pRpm->getResponse());
        }
    }
    else if (const auto* pFailed = dynamic_cast<const NotificationResponseDeviceAccess<DataError>*>(p);
             pFailed != nullptr && _pollRequests.erase(pFailed->getRequestId()) > 0)
    {
        // A failed reading: the next one is due at the poll rate anyway.
    }
    else
    {
        handleStopRequest(pNf);
    }
}

void AppWatsonMQTT::handleStopRequest(const Poco::AutoPtr<Poco::Notification>& pNf)
{
    if (_shuttingDown != 0 || !handleNotification(pNf))
    {
        return;
    }
    _shuttingDown = 1;
    Poco::ThreadPool* pPool = nullptr;
    {
        std::lock_guard<std::mutex> lock(_threadPoolMutex);
        pPool = _pBACnetWsThreadPool.get();
    }
    if (pPool != nullptr)
    {
        pPool->joinAll();
    }
}

// ---- identities and COV -------------------------------------------------------------------------

void AppWatsonMQTT::bacnetRequestProperties()
{
    _publishedCovObjects.clear();
    _publishedPolledPorps.clear();
    _nextPolls.clear();
    Poco::UInt32 currentDevice = 0xFFFFFFFF;
    std::vector<NotificationRequestRPM::Parameter> requests;
    for (const auto& entry : _keyFlags)
    {
        Poco::UInt32 deviceInstance = 0;
        Poco::UInt32 objectIdentifier = 0;
        getKey(entry.first, deviceInstance, objectIdentifier);
        if (deviceInstance != currentDevice)
        {
            if (!requests.empty())
            {
                asyncRPM(currentDevice, requests);
                requests.clear();
            }
            currentDevice = deviceInstance;
            requests.emplace_back(ObjectIdentifier(OBJECT_DEVICE, deviceInstance),
                                  std::vector<DataPropertyRef>{DataPropertyRef(PROP_VENDOR_IDENTIFIER),
                                                               DataPropertyRef(PROP_MODEL_NAME),
                                                               DataPropertyRef(PROP_OBJECT_NAME)});
        }
        requests.emplace_back(ObjectIdentifier::fromEncoded(objectIdentifier),
                              std::vector<DataPropertyRef>{DataPropertyRef(PROP_OBJECT_NAME),
                                                           DataPropertyRef(PROP_COV_INCREMENT)});
    }
    if (!requests.empty())
    {
        asyncRPM(currentDevice, requests);
    }
}

void AppWatsonMQTT::bacnetRequestPropertiesResult(Poco::UInt32 deviceInstance,
                                                  const std::vector<DataResponseRPM>& responses)
{
    if (_shuttingDown != 0)
    {
        return;  // stopping: no new subscriptions after the cancelling pass
    }
    DataWatsonKey watson;
    for (const DataResponseRPM& object : responses)
    {
        const BACNET_OBJECT_TYPE type = object.objectIdentifier.getObjectType();
        bool useCov = true;
        // Every object carries its own name; one whose name cannot be read is left out.
        watson.propertyId.clear();
        for (const DataResponseRPM::Value& value : object.values)
        {
            const BACNET_PROPERTY_ID property = value.propertyRef.propertyIdentifier;
            const bool failed = value.hasError();
            if (failed && property == PROP_COV_INCREMENT && isUnknownProperty(value.error))
            {
                useCov = false;
            }
            if (type == OBJECT_DEVICE)
            {
                if (failed)
                {
                    continue;
                }
                if (property == PROP_VENDOR_IDENTIFIER)
                {
                    const std::string vendor = Poco::NumberFormatter::format0(value.value.getUInt(), 4);
                    watson.deviceType = watson.deviceType.empty() ? vendor : vendor + "-" + watson.deviceType;
                }
                else if (property == PROP_MODEL_NAME)
                {
                    const std::string model = value.value.getCharString();
                    watson.deviceType = watson.deviceType.empty() ? model : watson.deviceType + "-" + model;
                }
                else if (property == PROP_OBJECT_NAME)
                {
                    watson.deviceId = value.value.getCharString();
                    watson.propertyId = watson.deviceId;
                }
            }
            else if (property == PROP_OBJECT_NAME && !failed)
            {
                watson.propertyId = value.value.getCharString();
            }
            else if (property == PROP_COV_INCREMENT && !isLogOrView(type))
            {
                useCov = true;
            }
        }
        enterObject(deviceInstance, object.objectIdentifier, watson, useCov);
    }
}

void AppWatsonMQTT::enterObject(Poco::UInt32 deviceInstance, const ObjectIdentifier& objectIdentifier,
                                DataWatsonKey& watson, bool useCov)
{
    const Poco::UInt64 objectKey = getKey(deviceInstance, objectIdentifier.getEncoded());
    const auto flags = _keyFlags.find(objectKey);
    if (flags == _keyFlags.end())
    {
        return;
    }
    if ((flags->second & F_PUBLISH) != 0 && deviceInstance == _deviceInstanceGW)
    {
        watson.deviceType = _connection.getDeviceType();
        watson.deviceId = _connection.getDeviceId();
    }
    const std::string problem = identityProblem(watson);
    if (!problem.empty())
    {
        std::cout << appName() << "left out " << objectIdentifier.toString() << " of device "
                  << deviceInstance << ": " << problem << std::endl;
        return;
    }
    if ((flags->second & F_PUBLISH) != 0)
    {
        const BACNET_OBJECT_TYPE type = objectIdentifier.getObjectType();
        const BACNET_PROPERTY_ID property = (type == OBJECT_TREND_LOG || type == OBJECT_TREND_LOG_MULTIPLE)
                                                ? PROP_LOG_BUFFER
                                                : PROP_PRESENT_VALUE;
        if (useCov)
        {
            const Poco::UInt64 covKey = covKeyOf(deviceInstance, objectIdentifier.getEncoded());
            _publishedCovObjects[covKey] = DataCOVSubscriber(property, watson);
            bacnetCovSubscribe(covKey, property, false);
        }
        else
        {
            _publishedPolledPorps.emplace_back(
                _setupParamsBACnet.pollRateSeconds,
                BACnetDeviceObjectPropertyReference(objectIdentifier, property, BACNET_ARRAY_ALL,
                                                    ObjectIdentifier(OBJECT_DEVICE, deviceInstance)),
                watson);
            _nextPolls.emplace_back();
        }
    }
    if ((flags->second & F_SUBSCRIBE) != 0)
    {
        {
            std::lock_guard<std::mutex> lock(_commandableMutex);
            _commandableObjects[watson.getKey()] = objectKey;
        }
        if (_pWatsonClient && _pWatsonClient->isConnected())
        {
            _pWatsonClient->subscribeDeviceCommands(watson.deviceType, watson.deviceId);
        }
    }
}

std::string AppWatsonMQTT::identityProblem(const DataWatsonKey& watson) const
{
    // Type and id become topic levels; a TAB in the object name would split the key string wrongly.
    if (!Watson_IOTP::Topics::isValidLevel(watson.deviceType) ||
        !Watson_IOTP::Topics::isValidLevel(watson.deviceId))
    {
        return "its device names cannot be MQTT topic levels "
               "(empty, \"/\", \"+\", \"#\", control characters or not UTF-8)";
    }
    if (!Watson_IOTP::Topics::isValidEvent(watson.deviceType, watson.deviceId, COV_EVENT, JSON_FORMAT))
    {
        return "its device names make an MQTT topic longer than " +
               std::to_string(Watson_IOTP::Topics::MAX_TOPIC_BYTES) + " bytes";
    }
    if (watson.propertyId.empty() || watson.propertyId.find(DataWatsonKey::_SEPARATOR) != std::string::npos)
    {
        return "its object name is empty or holds a TAB";
    }
    return "";
}

void AppWatsonMQTT::bacnetCovSubscribe(Poco::UInt64 covKey, BACNET_PROPERTY_ID propertyIdentifier,
                                       bool cancel)
{
    auto& params = _setupParamsBACnet.covParams;
    if (params.subscriberProcessIdentifier == 0)
    {
        params.subscriberProcessIdentifier = getNewCOVSubscriberProcessIdentifier();
        if (params.subscriberProcessIdentifier == 0)
        {
            throw Poco::InvalidAccessException("No valid COV subscriptoin process identifier possible");
        }
    }
    const Poco::UInt32 deviceInstance =
        static_cast<Poco::UInt32>(covKey >> 32) & ObjectIdentifier::_MAX_INSTANCE;
    const ObjectIdentifier object =
        ObjectIdentifier::fromEncoded(static_cast<Poco::UInt32>(covKey & 0xFFFFFFFF));
    params.cancelation = cancel;
    asyncSubscribeCOV(DataPropertyKey(deviceInstance, object, DataPropertyRef(propertyIdentifier)), params);
}

void AppWatsonMQTT::watsonPublishCovResponse(const DataResponseCOV& response)
{
    if (response.values.empty())
    {
        return;
    }
    const auto subscriber = _publishedCovObjects.find(
        covKeyOf(response.initiatingDeviceInstance, response.monitoredObjectIdentifier.getEncoded()));
    if (subscriber == _publishedCovObjects.end())
    {
        return;
    }
    NamedValues values;
    for (const DataResponseCOV::Value& value : response.values)
    {
        values.emplace_back(ProtocolText::propertyName(value.propertyRef.propertyIdentifier),
                            value.value.getText());
    }
    publishValues(response.monitoredObjectIdentifier, response.initiatingDeviceInstance,
                  subscriber->second.watson, values);
}

void AppWatsonMQTT::watsonPublishPolledValues(Poco::UInt32 requestId,
                                              const std::vector<DataResponseRPM>& responses)
{
    const std::size_t index = _pollRequests[requestId];
    _pollRequests.erase(requestId);
    const DataPolledProperty& polled = _publishedPolledPorps[index];
    NamedValues values;
    for (const DataResponseRPM& object : responses)
    {
        for (const DataResponseRPM::Value& value : object.values)
        {
            if (!value.hasError())
            {
                values.emplace_back(ProtocolText::propertyName(value.propertyRef.propertyIdentifier),
                                    value.value.getText());
            }
        }
    }
    if (!values.empty())
    {
        publishValues(polled.bacnet.getObjectIdentifier(), polled.bacnet.getDeviceIdentifier().getInstance(),
                      polled.watson, values);
    }
}

void AppWatsonMQTT::publishValues(const ObjectIdentifier& object, Poco::UInt32 deviceInstance,
                                  const DataWatsonKey& watson, const NamedValues& values)
{
    std::string text = EventText::values(watson.propertyId, values);
    if (text.size() > Watson_IOTP::IOTP_Client::MAX_PAYLOAD_BYTES)
    {
        text = eventWithinLimit(object, deviceInstance, watson, values);
    }
    if (text.empty())
    {
        return;
    }
    if (deviceInstance == _deviceInstanceGW)
    {
        _pWatsonClient->publishGatewayEvent(COV_EVENT, JSON_FORMAT, text, EVENT_QOS);
    }
    else
    {
        _pWatsonClient->publishDeviceEvent(watson.deviceType, watson.deviceId, COV_EVENT, JSON_FORMAT, text,
                                           EVENT_QOS);
    }
}

std::string AppWatsonMQTT::eventWithinLimit(const ObjectIdentifier& object, Poco::UInt32 deviceInstance,
                                            const DataWatsonKey& watson, const NamedValues& values) const
{
    // The values that fit, in their order; an empty text when none does.
    NamedValues kept;
    for (const EventText::NamedValue& value : values)
    {
        kept.push_back(value);
        if (EventText::values(watson.propertyId, kept).size() > Watson_IOTP::IOTP_Client::MAX_PAYLOAD_BYTES)
        {
            kept.pop_back();
            std::cout << appName() << "left out " << value.first << " of " << object.toString()
                      << " of device " << deviceInstance
                      << ": the event would be larger than the platform's limit of "
                      << Watson_IOTP::IOTP_Client::MAX_PAYLOAD_BYTES << " bytes" << std::endl;
        }
    }
    return kept.empty() ? std::string() : EventText::values(watson.propertyId, kept);
}

void AppWatsonMQTT::watsonPublishBACnetWsResponse(BACnetWsHandler& handler)
{
    std::string text = handler.failed() ? EventText::bacnetWsFailure(handler.bacnetWsError)
                                        : EventText::bacnetWsReply(handler.bacnetWsResponse);
    if (text.size() > Watson_IOTP::IOTP_Client::MAX_PAYLOAD_BYTES)
    {
        const std::string problem = "the answer of " + std::to_string(handler.bacnetWsResponse.size()) +
                                    " bytes is larger than the platform's limit of " +
                                    std::to_string(Watson_IOTP::IOTP_Client::MAX_PAYLOAD_BYTES) + " bytes";
        std::cout << appName() << "BACnet/WS answer left out: " << problem << std::endl;
        text = EventText::bacnetWsFailure(problem);
    }
    _pWatsonClient->publishGatewayEvent(BACNET_WS_COMMAND + "-" + handler.watsonClientId, JSON_FORMAT, text,
                                        EVENT_QOS);
}

// ---- commands (MQTT client's thread) ------------------------------------------------------------

void AppWatsonMQTT::processCommand(Watson_IOTP::Command& command)
{
    if (_shuttingDown != 0 || command.getFormat() != JSON_FORMAT)
    {
        return;
    }
    try
    {
        const std::string name = Poco::toLower(command.getCommandName());
        if (name.size() >= 2 && name.size() <= 3 && name.compare(0, 2, "wp") == 0)
        {
            watsonCmdWP(command);
        }
        else if (name == BACNET_WS_COMMAND)
        {
            watsonCmdBacnetWS(command);
        }
        else
        {
            throw Poco::InvalidArgumentException("Invalid Command type: " + name);
        }
    }
    catch (const Poco::Exception& error)
    {
        std::cout << "AppWatsonMQTT command error: "
                  << (error.message().empty() ? error.displayText() : error.message()) << std::endl;
    }
}

void AppWatsonMQTT::watsonCmdWP(Watson_IOTP::Command& command)
{
    const DataWatsonKey device(command.getDeviceType(), command.getDeviceId(), "");
    const Poco::UInt32 priority = writePriority(Poco::toLower(command.getCommandName()));
    const Poco::JSON::Object::Ptr data = parseCommandData(command.getPayload());
    for (const auto& member : *data)
    {
        writeMember(device, member.first, member.second, priority);
    }
}

void AppWatsonMQTT::writeMember(const DataWatsonKey& device, const std::string& name,
                                const Poco::Dynamic::Var& value, Poco::UInt32 priority)
{
    if (value.type() == typeid(Poco::JSON::Object::Ptr))
    {
        throw Poco::JSON::JSONException("Value expected");
    }
    const Poco::StringTokenizer parts(name, "_", Poco::StringTokenizer::TOK_TRIM);
    if (parts.count() != 2)
    {
        throw Poco::JSON::JSONException("Invalid name/property combination");
    }
    const std::string key = DataWatsonKey(device.deviceType, device.deviceId, parts[0]).getKey();
    Poco::UInt64 objectKey = 0;
    if (!findCommandable(key, objectKey))
    {
        throw Poco::JSON::JSONException("Unknown object reference: " + quoted(key));
    }
    const std::string text = valueText(value);
    Poco::UInt32 propertyId = 0;
    if (!ProtocolText::propertyIndex(parts[1], propertyId))
    {
        throw Poco::JSON::JSONException("Unknown property name: " + quoted(parts[1]));
    }
    const DataObjectKey object{BACnetDeviceObjectReference(objectKey)};
    BACnetDataType dataType = BACNET_DT_NULL;
    BACNET_APPLICATION_TAG appTag = MAX_BACNET_APPLICATION_TAG;
    BACNET_DATATYPE_STRUCTURE structure = BACNET_DTS_SINGLE_VALUE;
    if (!ValueContainer::getValueTypeAndStructure(object.getObjectType(), propertyId, dataType, appTag,
                                                  structure))
    {
        throw Poco::JSON::JSONException("Property not known for the object type: " + quoted(parts[1]));
    }
    // A list for a single-valued property does not fit its datatype either.
    ValueContainer written;
    if (!written.setText(dataType, appTag, text, structure != BACNET_DTS_SINGLE_VALUE))
    {
        throw Poco::JSON::JSONException("Value does not fit the datatype of " + parts[1] + ": " +
                                        quoted(text));
    }
    if (structure == BACNET_DTS_ARRAY && written.getStructure() == BACNET_DTS_LIST)
    {
        written.setStructure(BACNET_DTS_ARRAY);
    }
    asyncWP(DataPropertyKey(object, static_cast<BACNET_PROPERTY_ID>(propertyId)), priority, written);
}

void AppWatsonMQTT::watsonCmdBacnetWS(Watson_IOTP::Command& command)
{
    const Poco::JSON::Object::Ptr data = parseCommandData(command.getPayload());
    const Poco::Dynamic::Var clientId = data->get("client-id");
    if (clientId.isEmpty() || clientId.type() == typeid(Poco::JSON::Object::Ptr))
    {
        throw Poco::JSON::JSONException("\"client-id \"\" missing or not a string");
    }
    const std::string watsonClientId = clientId.toString();
    if (!data->isObject("ws"))
    {
        throw Poco::JSON::JSONException("\"ws \"\" missing or not an object");
    }
    std::string method;
    std::string path;
    std::string body;
    bool bodyIsObject = false;
    for (const auto& member : *data->getObject("ws"))
    {
        if (member.first == "method")
        {
            method = Poco::toUpper(member.second.toString());
        }
        else if (member.first == "path")
        {
            path = member.second.toString();
        }
        else if (member.first == "payload")
        {
            body = member.second.toString();
            bodyIsObject = member.second.type() == typeid(Poco::JSON::Object::Ptr);
        }
    }
    if (!body.empty() && !bodyIsObject)
    {
        throw Poco::JSON::JSONException("BACnet/WS payload is not an object");
    }
    // The client id names the reply event; method and path go into the request line as they are.
    // The refusals quote them escaped: they may hold line breaks meant to forge console lines.
    if (!Watson_IOTP::Topics::isValidEvent(_connection.getDeviceType(), _connection.getDeviceId(),
                                           BACNET_WS_COMMAND + "-" + watsonClientId, JSON_FORMAT))
    {
        throw Poco::JSON::JSONException("client-id not usable in an event name: " +
                                        EventText::jsonString(watsonClientId));
    }
    if (!isHttpMethod(method))
    {
        throw Poco::JSON::JSONException("Invalid BACnet/WS method: " + EventText::jsonString(method));
    }
    if (!isHttpPath(path))
    {
        throw Poco::JSON::JSONException("Invalid BACnet/WS path: " + EventText::jsonString(path));
    }
    startBACnetWsJob(std::make_unique<BACnetWsHandler>(getReadQueue(), watsonClientId, path, method, body));
}

void AppWatsonMQTT::startBACnetWsJob(std::unique_ptr<BACnetWsHandler> job)
{
    Poco::ThreadPool* pPool = nullptr;
    {
        std::lock_guard<std::mutex> lock(_threadPoolMutex);
        if (!_pBACnetWsThreadPool)
        {
            _pBACnetWsThreadPool = std::make_unique<Poco::ThreadPool>(1, 16, 60);
        }
        pPool = _pBACnetWsThreadPool.get();
    }
    pPool->startWithPriority(Poco::Thread::PRIO_LOWEST, *job);
    // Running now: the job hands itself to the app's queue when it is done.
    job.release();
}

Poco::UInt32 AppWatsonMQTT::writePriority(const std::string& name)
{
    if (name.size() < 3)
    {
        return 16;
    }
    const char digit = name[2];
    if (digit >= '0' && digit <= '9' && digit != '5')
    {
        return static_cast<Poco::UInt32>(digit - '0') + 1;
    }
    if (digit >= 'a' && digit <= 'f')
    {
        return static_cast<Poco::UInt32>(digit - 'a') + 11;
    }
    throw Poco::JSON::JSONException("Unexpected Write Property Priority value");
}

Poco::JSON::Object::Ptr AppWatsonMQTT::parseCommandData(const std::string& payload)
{
    Poco::JSON::Parser parser(new Poco::JSON::ParseHandler(false));
    const Poco::Dynamic::Var result = parser.parse(payload);
    if (result.type() != typeid(Poco::JSON::Object::Ptr))
    {
        throw Poco::JSON::JSONException("JSON object exepcted");
    }
    const Poco::JSON::Object::Ptr object = result.extract<Poco::JSON::Object::Ptr>();
    if (!object->isObject("d"))
    {
        throw Poco::JSON::JSONException("Object \"d\" missing");
    }
    return object->getObject("d");
}

std::string AppWatsonMQTT::valueText(const Poco::Dynamic::Var& value)
{
    if (value.type() != typeid(Poco::JSON::Array::Ptr))
    {
        return value.toString();
    }
    // One line, as the stored value grammar reads lists ("[1, 2]"), not the library's indented form.
    std::ostringstream text;
    Poco::JSON::Stringifier::condense(value, text);
    return text.str();
}

bool AppWatsonMQTT::findCommandable(const std::string& key, Poco::UInt64& objectKey)
{
    std::lock_guard<std::mutex> lock(_commandableMutex);
    const auto found = _commandableObjects.find(key);
    if (found == _commandableObjects.end())
    {
        return false;
    }
    objectKey = found->second;
    return true;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
