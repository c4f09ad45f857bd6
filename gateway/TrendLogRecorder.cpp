#include "TrendLogRecorder.h"

#include "Orvik_BACnet/TimeZoneState.h"
#include "Orvik_BACnetClient/NotificationResponseDeviceAccess.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"
#include "Orvik_Utility/NotificationQueueWorker.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <cmath>

namespace Orvik::Gateway
{

using namespace Orvik::BACnet;
using BACnet::Client::DataError;
using BACnet::Client::DataResponseRPM;
using BACnet::Device::LogStore;
using RPMReply = BACnet::Client::NotificationResponseDeviceAccess<std::vector<DataResponseRPM>>;
using RPMFailure = BACnet::Client::NotificationResponseDeviceAccess<DataError>;
using SubscribeAck = BACnet::Client::NotificationResponsePropertyAccess<int>;
using SubscribeFailure = BACnet::Client::NotificationResponsePropertyAccess<DataError>;
using COVNotification = BACnet::Client::NotificationResponse<BACnet::Client::DataResponseCOV>;

namespace
{

const Poco::Timestamp::TimeDiff HUNDREDTH = 10000;
/// A round's records wait at most this long for the round's last answer before they are committed.
const Poco::Timespan::TimeDiff COMMIT_WAIT_US = 500000;
/// A wall clock that moved this much against the monotonic one was set.
const Poco::Timespan::TimeDiff CLOCK_STEP_US = 1000000;
/// The longest sleep: the clock is watched at least this often.
const long LONGEST_WAIT_MS = 1000;

Poco::Timestamp inHundredths(const Poco::Timestamp& time)
{
    return Poco::Timestamp(time.epochMicroseconds() / HUNDREDTH * HUNDREDTH);
}

BACnet::DataType::BACnetLogRecord failure(const DataError& error)
{
    BACnet::DataType::BACnetLogRecord datum;
    datum.setFailure(error.errorClass, error.errorCode);
    return datum;
}

}  // namespace

TrendLogRecorder::TrendLogRecorder(std::shared_ptr<LogStore> pStore, Poco::NotificationQueue& clientQueue,
                                   Poco::Logger& log)
    : _pStore(std::move(pStore)),
      _log(log),
      _helper(&clientQueue, &_replies),
      _logs(_pStore->logs()),
      _runnable(*this, &TrendLogRecorder::run),
      _thread("trend log recorder")
{
}

TrendLogRecorder::~TrendLogRecorder()
{
    stop();
}

void TrendLogRecorder::start()
{
    _thread.start(_runnable);
}

void TrendLogRecorder::stop()
{
    if (!_thread.isRunning())
        return;
    _replies.enqueueUrgentNotification(new Utility::Notification(Utility::Notification::STOP_RUNNING));
    _thread.join();
}

Poco::Timestamp TrendLogRecorder::nextDue(const LogStore::Log& log, const Poco::Timestamp& now)
{
    return log.triggered ? Poco::Timestamp(Poco::Timestamp::TIMEVAL_MAX) : nextAligned(now, log.interval);
}

Poco::Timestamp TrendLogRecorder::nextAligned(const Poco::Timestamp& now, const Poco::Timespan& interval)
{
    const Poco::Timestamp::TimeDiff step = std::max(interval.totalMicroseconds(), HUNDREDTH);
    const Poco::Timestamp::TimeDiff offset =
        Poco::Timestamp::TimeDiff(TimeZoneState::localOffsetSeconds(now)) * Poco::Timespan::SECONDS;
    const Poco::Timestamp::TimeDiff local = now.epochMicroseconds() + offset;
    return Poco::Timestamp((local / step + 1) * step - offset);
}

BACnet::DataType::BACnetLogRecord TrendLogRecorder::datumOf(const BACnet::ValueContainer& value)
{
    BACnet::DataType::BACnetLogRecord datum;
    if (value.getStructure() != BACNET_DTS_SINGLE_VALUE || value.size() != 1)
        return failure(DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_DATATYPE_NOT_SUPPORTED));
    switch (value.getDataType())
    {
        case BACNET_DT_REAL:
            datum.setReal(value.getReal());
            break;
        case BACNET_DT_DOUBLE:
            datum.setReal(static_cast<float>(value.getDouble()));
            break;
        case BACNET_DT_BOOLEAN:
            datum.setBoolean(value.getBool());
            break;
        case BACNET_DT_ENUMERATED:
            datum.setEnumerated(value.getEnum());
            break;
        case BACNET_DT_UNSIGNED:
            datum.setUnsigned(value.getUInt64());
            break;
        case BACNET_DT_SIGNED:
            datum.setSigned(value.getInt());
            break;
        case BACNET_DT_BIT_STRING:
        {
            const auto& bits = value.at(0).get<BACnet::DataType::BitString>();
            if (bits.getBitCount() > BACnet::DataType::BACnetLogRecord::_MAX_BITS)
                return failure(DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_DATATYPE_NOT_SUPPORTED));
            datum.setBitString(bits);
            break;
        }
        case BACNET_DT_NULL:
            datum.setNull();
            break;
        default:
            return failure(DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_DATATYPE_NOT_SUPPORTED));
    }
    return datum;
}

void TrendLogRecorder::run()
{
    markInterruptions();
    const Poco::Timestamp now;
    for (const LogStore::Log& log : _logs)
    {
        _due[log.instance] = nextDue(log, now);
        if (log.cov)
            _renewals[log.instance] = now;
    }
    _processIdentifier = BACnet::Client::ServiceHelper::getNewCOVSubscriberProcessIdentifier();
    _wall = now;
    _monotonic.update();
    while (!_stopping)
    {
        Poco::AutoPtr<Poco::Notification> pNotification(
            _replies.waitDequeueNotification(millisecondsToWait()));
        if (pNotification)
            take(pNotification.get());
        watchClock();
        subscribeDueLogs(Poco::Timestamp());
        pollDueLogs(Poco::Timestamp());
        commit(false);
    }
    commit(true);
    cancelSubscriptions();
}

void TrendLogRecorder::markInterruptions()
{
    const Poco::Timestamp now = inHundredths(Poco::Timestamp());
    for (const LogStore::Log& log : _logs)
    {
        if (_pStore->state(log.instance).last > 0)
            record(log.instance, now, LogStore::logStatus(false, false, true));
    }
    commit(true);
}

long TrendLogRecorder::millisecondsToWait() const
{
    const Poco::Timestamp now;
    Poco::Timestamp::TimeDiff wait = LONGEST_WAIT_MS * 1000;
    for (const auto& due : _due)
    {
        if (_reading.count(due.first) == 0)
            wait = std::min(wait, due.second - now);
    }
    for (const auto& renewal : _renewals)
        wait = std::min(wait, renewal.second - now);
    if (!_pending.empty())
        wait = std::min(wait, COMMIT_WAIT_US - _pendingSince.elapsed());
    return std::max<long>(1, static_cast<long>((wait + 999) / 1000));
}

void TrendLogRecorder::pollDueLogs(const Poco::Timestamp& now)
{
    // One ReadPropertyMultiple per device and due time, each property once for the logs that share it.
    std::map<std::pair<Poco::UInt32, Poco::Timestamp>, Round> rounds;
    for (const LogStore::Log& log : _logs)
    {
        Poco::Timestamp& due = _due[log.instance];
        const Poco::Timestamp dueAt = due;
        const bool isDue = dueAt <= now;
        if (isDue)
            due = nextDue(log, now);
        // A trigger waits while a read of the log is on its way; a COV log takes it too.
        const bool reading = _reading.count(log.instance) != 0;
        const bool triggered = !reading && _pStore->takeTrigger(log.instance);
        // A round is skipped, not made up for later: a record's time is that of its read.
        if ((!isDue && !triggered) || reading || (_subscribed.count(log.instance) != 0 && !triggered) ||
            !_pStore->state(log.instance).enabled)
            continue;
        const Poco::Timestamp time = isDue ? dueAt : inHundredths(now);
        const Poco::UInt32 device = log.reference.getDeviceIdentifier().getInstance();
        Round& round = rounds[{device, time}];
        round.time = time;
        round.logs[{log.reference.getObjectIdentifier().getEncoded(), log.reference.getPropertyIdentifier()}]
            .push_back(log.instance);
    }
    for (auto& entry : rounds)
    {
        std::vector<BACnet::Client::NotificationRequestRPM::Parameter> parameters;
        for (const auto& logged : entry.second.logs)
        {
            parameters.emplace_back(BACnet::DataType::ObjectIdentifier::fromEncoded(logged.first.first),
                                    std::vector<BACnet::Client::DataPropertyRef>{
                                        static_cast<BACNET_PROPERTY_ID>(logged.first.second)});
            _reading.insert(logged.second.begin(), logged.second.end());
        }
        _rounds[_helper.asyncRPM(entry.first.first, parameters)] = entry.second;
    }
}

void TrendLogRecorder::subscribeDueLogs(const Poco::Timestamp& now)
{
    for (const LogStore::Log& log : _logs)
    {
        const auto renewal = _renewals.find(log.instance);
        if (renewal == _renewals.end() || renewal->second > now)
            continue;
        renewal->second = now + Poco::Timespan(log.resubscriptionSeconds, 0);
        BACnet::Client::NotificationRequestSubscribeCOV::Parameters parameters;
        parameters.subscriberProcessIdentifier = _processIdentifier;
        parameters.lifetime = 2 * log.resubscriptionSeconds;
        _subscribing[_helper.asyncSubscribeCOV(keyOf(log), parameters)] = log.instance;
        // Not polled while the answer is on its way: the client answers every request, a refusal too.
        _subscribed.insert(log.instance);
    }
}

void TrendLogRecorder::cancelSubscriptions()
{
    // Devices stop sending to a gateway that is gone; their answers are not awaited.
    BACnet::Client::NotificationRequestSubscribeCOV::Parameters parameters;
    parameters.subscriberProcessIdentifier = _processIdentifier;
    parameters.cancelation = true;
    for (const LogStore::Log& log : _logs)
    {
        if (log.cov)
            _helper.asyncSubscribeCOV(keyOf(log), parameters);
    }
}

BACnet::Client::DataPropertyKey TrendLogRecorder::keyOf(const LogStore::Log& log)
{
    // A whole object's notification brings the status flags with the present value.
    const BACNET_PROPERTY_ID property = log.reference.getPropertyIdentifier() == PROP_PRESENT_VALUE
                                            ? MAX_BACNET_PROPERTY_ID
                                            : log.reference.getPropertyIdentifier();
    return BACnet::Client::DataPropertyKey(log.reference.getDeviceIdentifier().getInstance(),
                                           log.reference.getObjectIdentifier(), property);
}

void TrendLogRecorder::take(Poco::Notification* pNotification)
{
    // A property's answer is also a device's: the subscriptions' answers are taken first.
    if (const auto* pAck = dynamic_cast<const SubscribeAck*>(pNotification))
        subscribed(pAck->getRequestId(), DataError());
    else if (const auto* pRefusal = dynamic_cast<const SubscribeFailure*>(pNotification))
        subscribed(pRefusal->getRequestId(), pRefusal->getResponse());
    else if (const auto* pReply = dynamic_cast<const RPMReply*>(pNotification))
        finishRound(pReply->getRequestId(), &pReply->getResponse(), DataError());
    else if (const auto* pFailure = dynamic_cast<const RPMFailure*>(pNotification))
        finishRound(pFailure->getRequestId(), nullptr, pFailure->getResponse());
    else if (const auto* pChange = dynamic_cast<const COVNotification*>(pNotification))
        recordChange(pChange->getResponse());
    else if (const auto* pHost = dynamic_cast<const Utility::Notification*>(pNotification))
        takeHostRequest(*pHost);
}

void TrendLogRecorder::takeHostRequest(const Utility::Notification& request)
{
    if (request.getAction() == Utility::Notification::SANITY_REQUEST)
        Utility::NotificationQueueWorker::answerSanityRequest(request, _replies);
    else if (request.getAction() == Utility::Notification::STOP_RUNNING)
        _stopping = true;
}

void TrendLogRecorder::finishRound(Poco::UInt32 requestId, const std::vector<DataResponseRPM>* pResponses,
                                   const DataError& error)
{
    const auto it = _rounds.find(requestId);
    if (it == _rounds.end())
        return;
    for (const auto& logged : it->second.logs)
    {
        // A property the answer lacks failed as the whole request did.
        BACnet::DataType::BACnetLogRecord datum =
            failure(error.hasError() ? error : DataError(ERROR_CLASS_SERVICES, ERROR_CODE_OTHER));
        for (const DataResponseRPM& response : pResponses ? *pResponses : std::vector<DataResponseRPM>())
        {
            if (response.objectIdentifier.getEncoded() != logged.first.first)
                continue;
            for (const DataResponseRPM::Value& value : response.values)
            {
                if (value.propertyRef.propertyIdentifier == logged.first.second)
                    datum = value.hasError() ? failure(value.error) : datumOf(value.value);
            }
        }
        for (Poco::UInt32 instance : logged.second)
        {
            record(instance, it->second.time, datum);
            _reading.erase(instance);
        }
    }
    _rounds.erase(it);
}

void TrendLogRecorder::subscribed(Poco::UInt32 requestId, const DataError& error)
{
    const auto it = _subscribing.find(requestId);
    if (it == _subscribing.end())
        return;
    const Poco::UInt32 instance = it->second;
    _subscribing.erase(it);
    if (!error.hasError())
        return;
    // Polled until a renewal succeeds.
    _subscribed.erase(instance);
    record(instance, inHundredths(Poco::Timestamp()), failure(error));
}

void TrendLogRecorder::recordChange(const BACnet::Client::DataResponseCOV& notification)
{
    if (notification.subscriberProcessIdentifier != _processIdentifier)
        return;
    const Poco::Timestamp now = inHundredths(Poco::Timestamp());
    for (const LogStore::Log& log : _logs)
    {
        if (!log.cov ||
            log.reference.getDeviceIdentifier().getInstance() != notification.initiatingDeviceInstance ||
            log.reference.getObjectIdentifier() != notification.monitoredObjectIdentifier)
            continue;
        const BACnet::Client::DataResponseCOV::Value* pValue = nullptr;
        const BACnet::Client::DataResponseCOV::Value* pFlags = nullptr;
        for (const BACnet::Client::DataResponseCOV::Value& value : notification.values)
        {
            if (value.propertyRef.propertyIdentifier == log.reference.getPropertyIdentifier())
                pValue = &value;
            else if (value.propertyRef.propertyIdentifier == PROP_STATUS_FLAGS)
                pFlags = &value;
        }
        if (pValue == nullptr)
            continue;
        BACnet::DataType::BACnetLogRecord datum = datumOf(pValue->value);
        if (pFlags != nullptr && pFlags->value.getDataType() == BACNET_DT_BIT_STRING &&
            datum.getChoice() != LOG_DATUM_FAILURE)
        {
            BACnet::DataType::BitString flags(4);
            datum.setStatusFlags(pFlags->value.getBitString(flags));
        }
        record(log.instance, now, datum);
    }
}

void TrendLogRecorder::record(Poco::UInt32 instance, const Poco::Timestamp& time,
                              const BACnet::DataType::BACnetLogRecord& datum)
{
    if (_pending.empty())
        _pendingSince.update();
    _pending.push_back(LogStore::Entry{instance, LogStore::Record{time, datum}});
}

void TrendLogRecorder::watchClock()
{
    const Poco::Timestamp wall;
    const Poco::Timespan::TimeDiff step = (wall - _wall) - _monotonic.elapsed();
    _wall = wall;
    _monotonic.update();
    if (std::abs(step) <= CLOCK_STEP_US)
        return;
    BACnet::DataType::BACnetLogRecord datum;
    datum.setTimeChange(static_cast<float>(step) / 1e6f);
    for (const LogStore::Log& log : _logs)
    {
        record(log.instance, inHundredths(wall), datum);
        _due[log.instance] = nextDue(log, wall);
    }
}

void TrendLogRecorder::commit(bool evenWhileWaiting)
{
    if (_pending.empty())
        return;
    if (!evenWhileWaiting && !_rounds.empty() && _pendingSince.elapsed() < COMMIT_WAIT_US)
        return;
    try
    {
        _pStore->append(_pending);
    }
    catch (const Poco::Exception& e)
    {
        _log.error("Trend log records lost, the file refused them: " + e.displayText());
    }
    _pending.clear();
}

}  // namespace Orvik::Gateway
