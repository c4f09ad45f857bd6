#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/AppWatsonMQTT.h"

#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/NotificationRequestRPM.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "Orvik_BACnetClient/NotificationResponseDeviceAccess.h"
#include "Orvik_BACnetClient/NotificationResponseObjectAccess.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"
#include "Orvik_BACnetClient/ReadRangePager.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BACnetWsHandler.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/CommandParser.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/NotificationBACnetWsDone.h"

#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>

#include <algorithm>
#include <iostream>
#include <set>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

using Orvik::BACnet::Client::DataPropertyKey;
using Orvik::BACnet::Client::DataPropertyRef;
using Orvik::BACnet::Client::DataResponseCOV;
using Orvik::BACnet::Client::DataResponseRPM;
using Orvik::BACnet::Client::NotificationRequestRPM;
using Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference;
using Orvik::BACnet::DataType::ObjectIdentifier;

namespace
{

const std::string APP_NAME = "AppWatsonMQTT ";

/// Objects other than trend logs and structured views are followed by COV whether or not they have a
/// COV increment (binary and multi-state objects have none); a trend log or structured view without one
/// is polled.
bool isLogOrView(BACNET_OBJECT_TYPE type)
{
    return type == OBJECT_TREND_LOG || type == OBJECT_TREND_LOG_MULTIPLE || type == OBJECT_STRUCTURED_VIEW;
}

bool isUnknownProperty(const Orvik::BACnet::Client::DataError& error)
{
    return error.errorClass == ERROR_CLASS_PROPERTY && error.errorCode == ERROR_CODE_UNKNOWN_PROPERTY;
}

}  // namespace

AppWatsonMQTT::AppWatsonMQTT(Poco::Int32 idAppInstance, const DataBridgeTimings& timings)
    : AppBase(idAppInstance),
      _timings(timings),
      _settings(APP_NAME),
      _subscriptions(_settings.setupParams.covParams)
{
}

AppWatsonMQTT::~AppWatsonMQTT()
{
    // Jobs still running post into this app's queue: they must end before the queue goes.
    _bacnetWsPool.joinAll();
}

const std::string& AppWatsonMQTT::appName() const
{
    return APP_NAME;
}

bool AppWatsonMQTT::descRun()
{
    _deviceInstanceGW = dbGetParentBACnetDeviceInstance(idAppInstance);
    std::vector<ValueContainer> values;
    getProperties(values);
    if (!_settings.read(values, _deviceInstanceGW, _objects))
    {
        throw Poco::InvalidArgumentException("One or more connection parameters missing");
    }
    if (_objects.empty())
    {
        return false;
    }
    bacnetRequestProperties(false);
    _subscriptions.renewed();
    _pWatsonClient = std::make_unique<Orvik::MQTT::Watson::GatewayClient>(_settings.connection);
    _pQueue = OutageQueue::besideDatabase("cloud-bridge-" + std::to_string(idAppInstance) + ".queue",
                                          _settings.outageQueueMegabytes);
    _pPublisher = std::make_unique<EventPublisher>(
        *_pWatsonClient, _deviceInstanceGW, APP_NAME, _pQueue.get(),
        PublishRateLimit(_settings.messagesPerSecond, _settings.bytesPerSecond));
    try
    {
        runLoop();
    }
    catch (...)
    {
        std::cout << "BACnet to Watson IoT Exception ignored" << std::endl;
        _pPublisher.reset();
        _pWatsonClient.reset();
        return true;
    }
    _pWatsonClient->disconnect();
    _pPublisher.reset();
    _pWatsonClient.reset();
    return false;
}

// ---- run loop -----------------------------------------------------------------------------------

void AppWatsonMQTT::runLoop()
{
    long wait = _subscriptions.renewalWaitMs();
    for (;;)
    {
        wait = checkConnection(wait);
        if (_life.renewalDue(_subscriptions) && _life.renew(_subscriptions, *this, _objects) && _silent.any())
        {
            bacnetRequestProperties(true);
        }
        const long untilPoll =
            isStopping() ? wait
                         : _polls.pollDue(wait, [this](const DataPolledProperty& polled, std::size_t index)
                                          { pollProperty(polled, index); });
        const Poco::AutoPtr<Poco::Notification> pNf =
            waitDequeueNotification(_pPublisher->releaseDue(untilPoll));
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

std::string AppWatsonMQTT::statusText() const
{
    return _brokerConnected ? "broker connected" : "broker not connected";
}

long AppWatsonMQTT::checkConnection(long wait)
{
    if (isStopping())
    {
        return _timings.quietDrainMs;
    }
    _brokerConnected = _pWatsonClient->isConnected();
    if (_brokerConnected)
    {
        return wait;
    }
    std::cout << "Watson no connection" << std::endl;
    if (!_pWatsonClient->connect())
    {
        return _timings.reconnectWaitMs;
    }
    std::cout << "A) Watson connected" << std::endl;
    _pWatsonClient->setCommandHandler(this);
    _pPublisher->replayQueued();
    subscribeCommands();
    _brokerConnected = true;
    std::cout << "B) Watson connected" << std::endl;
    return _subscriptions.renewalWaitMs();
}

void AppWatsonMQTT::subscribeCommands()
{
    _pWatsonClient->subscribeGatewayCommands();
    // A copy: each subscription waits for the broker, and the MQTT thread may meanwhile look up
    // commandable objects to deliver a command.
    for (const DataWatsonKey& watson : _objects.commandableDevices())
    {
        _pWatsonClient->subscribeDeviceCommands(watson.deviceType, watson.deviceId);
    }
}

void AppWatsonMQTT::pollProperty(const DataPolledProperty& polled, std::size_t index)
{
    const Poco::UInt32 device = polled.bacnet.getDeviceIdentifier().getInstance();
    const BACNET_PROPERTY_ID property = polled.bacnet.getPropertyIdentifier();
    if (property != PROP_LOG_BUFFER)
    {
        const NotificationRequestRPM::Parameter read(polled.bacnet.getObjectIdentifier(),
                                                     {DataPropertyRef(property)});
        _polls.expect(asyncRPM(device, {read}), index);
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
    Orvik::BACnet::Client::ReadRangePager pager(*this, key, newest);  // a read back from now: one page
    if (pager.next(result) == Orvik::BACnet::Client::ReadRangePager::PAGE && result.itemCnt > 0)
    {
        _pPublisher->publishValues(key, polled.watson,
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
        _pPublisher->publishBACnetWsReply(*pDone->pBACnetWsHandler);
    }
    else if (dynamic_cast<const NotificationResponsePropertyAccess<int>*>(p) != nullptr ||
             dynamic_cast<const NotificationResponseObjectAccess<DataError>*>(p) != nullptr)
    {
        // Acknowledgements and refusals of writes and subscriptions need no action.
    }
    else if (const auto* pRpm =
                 dynamic_cast<const NotificationResponseDeviceAccess<std::vector<DataResponseRPM>>*>(p))
    {
        if (const DataPolledProperty* pPolled = _polls.answered(pRpm->getRequestId()))
        {
            watsonPublishPolledValues(*pPolled, pRpm->getResponse());
        }
        else
        {
            _silent.answered(pRpm->getRequestId());
            bacnetRequestPropertiesResult(pRpm->getDeviceInstance(), pRpm->getResponse());
        }
    }
    else if (const auto* pFailed = dynamic_cast<const NotificationResponseDeviceAccess<DataError>*>(p))
    {
        // A failed reading is not published: the next one is due at the poll rate anyway.
        if (_polls.answered(pFailed->getRequestId()) != nullptr)
            return;
        if (const std::string line = _silent.failed(pFailed->getRequestId(), pFailed->getResponse());
            !line.empty())
            std::cout << appName() << line << std::endl;
    }
    else
    {
        handleStopRequest(pNf);
    }
}

void AppWatsonMQTT::handleStopRequest(const Poco::AutoPtr<Poco::Notification>& pNf)
{
    if (isStopping() || !handleNotification(pNf))
    {
        return;
    }
    _life.stopRequested();
    _bacnetWsPool.joinAll();
}

// ---- identities and COV -------------------------------------------------------------------------

void AppWatsonMQTT::bacnetRequestProperties(bool ofSilentDevicesOnly)
{
    const std::set<Poco::UInt32> silent = _silent.takeSilent();
    if (!ofSilentDevicesOnly)
    {
        _objects.forgetIdentities();
        _polls.clear();
    }
    Poco::UInt32 currentDevice = 0xFFFFFFFF;
    std::vector<NotificationRequestRPM::Parameter> requests;
    for (const DataObjectKey& object : _objects.objects())
    {
        if (ofSilentDevicesOnly && silent.count(object.deviceInstance) == 0)
        {
            continue;
        }
        if (object.deviceInstance != currentDevice)
        {
            if (!requests.empty())
            {
                _silent.asked(asyncRPM(currentDevice, requests), currentDevice);
                requests.clear();
            }
            currentDevice = object.deviceInstance;
            requests.emplace_back(ObjectIdentifier(OBJECT_DEVICE, currentDevice),
                                  std::vector<DataPropertyRef>{DataPropertyRef(PROP_VENDOR_IDENTIFIER),
                                                               DataPropertyRef(PROP_MODEL_NAME),
                                                               DataPropertyRef(PROP_OBJECT_NAME)});
        }
        requests.emplace_back(object.objectIdentifier,
                              std::vector<DataPropertyRef>{DataPropertyRef(PROP_OBJECT_NAME),
                                                           DataPropertyRef(PROP_COV_INCREMENT)});
    }
    if (!requests.empty())
    {
        _silent.asked(asyncRPM(currentDevice, requests), currentDevice);
    }
}

void AppWatsonMQTT::bacnetRequestPropertiesResult(Poco::UInt32 deviceInstance,
                                                  const std::vector<DataResponseRPM>& responses)
{
    if (isStopping())
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
        enterObject(DataObjectKey(deviceInstance, object.objectIdentifier), watson, useCov);
    }
}

void AppWatsonMQTT::enterObject(const DataObjectKey& object, DataWatsonKey& watson, bool useCov)
{
    const Poco::UInt8 flags = _objects.flagsOf(object);
    if (flags == 0)
    {
        return;
    }
    if ((flags & F_PUBLISH) != 0 && object.deviceInstance == _deviceInstanceGW)
    {
        watson.deviceType = _settings.connection.getDeviceType();
        watson.deviceId = _settings.connection.getDeviceId();
    }
    const std::string problem = ObjectIdentities::problemWith(watson);
    if (!problem.empty())
    {
        std::cout << appName() << "left out " << object.objectIdentifier.toString() << " of device "
                  << object.deviceInstance << ": " << problem << std::endl;
        return;
    }
    _objects.enter(object, watson);
    if ((flags & F_PUBLISH) != 0)
    {
        const BACNET_OBJECT_TYPE type = object.getObjectType();
        const BACNET_PROPERTY_ID property = (type == OBJECT_TREND_LOG || type == OBJECT_TREND_LOG_MULTIPLE)
                                                ? PROP_LOG_BUFFER
                                                : PROP_PRESENT_VALUE;
        if (useCov)
        {
            _objects.followByCov(object, DataCOVSubscriber(property, watson));
            _subscriptions.subscribe(*this, object, property, false);
        }
        else
        {
            _polls.add(DataPolledProperty(
                _settings.setupParams.pollRateSeconds,
                BACnetDeviceObjectPropertyReference(object.objectIdentifier, property, BACNET_ARRAY_ALL,
                                                    ObjectIdentifier(OBJECT_DEVICE, object.deviceInstance)),
                watson));
        }
    }
    if ((flags & F_SUBSCRIBE) != 0 && _pWatsonClient && _pWatsonClient->isConnected())
    {
        _pWatsonClient->subscribeDeviceCommands(watson.deviceType, watson.deviceId);
    }
}

void AppWatsonMQTT::watsonPublishCovResponse(const DataResponseCOV& response)
{
    if (response.values.empty())
    {
        return;
    }
    const DataObjectKey object(response.initiatingDeviceInstance, response.monitoredObjectIdentifier);
    const DataCOVSubscriber* pSubscriber = _objects.covSubscriber(object);
    if (pSubscriber == nullptr)
    {
        return;
    }
    NamedValues values;
    for (const DataResponseCOV::Value& value : response.values)
    {
        values.emplace_back(ProtocolText::propertyName(value.propertyRef.propertyIdentifier),
                            value.value.getText());
    }
    _pPublisher->publishValues(object, pSubscriber->watson, values);
}

void AppWatsonMQTT::watsonPublishPolledValues(const DataPolledProperty& polled,
                                              const std::vector<DataResponseRPM>& responses)
{
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
        _pPublisher->publishValues(DataObjectKey(polled.bacnet.getDeviceIdentifier().getInstance(),
                                                 polled.bacnet.getObjectIdentifier()),
                                   polled.watson, values);
    }
}

// ---- commands (MQTT client's thread) ------------------------------------------------------------

void AppWatsonMQTT::processCommand(Watson_IOTP::Command& command)
{
    if (isStopping() || command.getFormat() != EventText::_FORMAT)
    {
        return;
    }
    const CommandParser parser(_settings.connection.getDeviceType(), _settings.connection.getDeviceId(),
                               [this](const DataWatsonKey& watson, DataObjectKey& object)
                               { return _objects.findCommandable(watson, object); });
    const DataCheckedCommand checked =
        parser.parse(command.getCommandName(),
                     DataWatsonKey(command.getDeviceType(), command.getDeviceId(), ""), command.getPayload());
    for (const DataCheckedCommand::Write& write : checked.writes)
    {
        asyncWP(write.target, write.priority, write.value);
    }
    if (checked.forwardBACnetWs)
    {
        _bacnetWsPool.start(std::make_unique<BACnetWsHandler>(getReadQueue(), checked.clientId, checked.path,
                                                              checked.method, checked.body));
    }
    if (!checked.error.empty())
    {
        std::cout << "AppWatsonMQTT command error: " << checked.error << std::endl;
    }
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
