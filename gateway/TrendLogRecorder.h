#pragma once

#include "Orvik_BACnetClient/DataResponseCOV.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_BACnetDevice/LogStore.h"
#include "Orvik_Utility/Notification.h"

#include <Poco/Clock.h>
#include <Poco/Logger.h>
#include <Poco/NotificationQueue.h>
#include <Poco/RunnableAdapter.h>
#include <Poco/Thread.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

namespace Orvik::Gateway
{

/// Logs the trend logs that the gateway's own device records (LogStore::logs()): each logged property is
/// read at its log interval, aligned to the local clock (60 s on the minute, a day at midnight), with one
/// ReadPropertyMultiple per device and round. A value becomes a record of its datatype; a failed read
/// (time-out, error, a datatype a record cannot hold) becomes a failure record with the error, never a gap.
/// A log with a read still on its way skips its next round instead of asking twice; a disabled log is not
/// read. A log whose trigger a tool set (LogStore::trigger()) is read at once, within a second, whatever
/// its logging type; a triggered log is read only then.
///
/// The records of a round go to the store in one transaction once every answer of the round is in, and
/// at the latest half a second after the first one, so a power cut loses at most about a second.
/// At start, every enabled log that holds records gets a log-status record "log-interrupted": the
/// gateway did not log in between. When the wall clock moves against the monotonic clock by more than a
/// second, each enabled log gets a time-change record (the step in seconds) and the rounds are aligned
/// anew.
///
/// A COV log subscribes to changes of its property (SubscribeCOV for a present-value, whose notifications
/// bring the status flags too, else SubscribeCOVProperty; unconfirmed notifications, lifetime twice the
/// resubscription interval) and renews the subscription at its resubscription interval; each notified value
/// is a record. A refused or failed subscription is a failure record, and the log is polled at its
/// interval until a renewal succeeds. The subscriptions are cancelled when the recorder stops.
///
/// One thread ("trend log recorder"), its own reply queue (queue()), where it also answers sanity
/// requests as a NotificationQueueWorker does; start() and stop() from one owner thread.
class TrendLogRecorder
{
public:
    TrendLogRecorder(std::shared_ptr<BACnet::Device::LogStore> pStore, Poco::NotificationQueue& clientQueue,
                     Poco::Logger& log);
    ~TrendLogRecorder();
    TrendLogRecorder(const TrendLogRecorder&) = delete;
    TrendLogRecorder& operator=(const TrendLogRecorder&) = delete;

    void start();
    /// Ends the thread; records of a round not yet committed are committed first.
    void stop();
    Poco::NotificationQueue& queue() { return _replies; }

    /// The first time after `now` on the grid of `interval` in local time, as the gateway's zone has it at
    /// `now`: an interval of a day logs at local midnight, an hour on the local hour also where the zone
    /// is half an hour off UTC.
    static Poco::Timestamp nextAligned(const Poco::Timestamp& now, const Poco::Timespan& interval);
    /// The record of a read value: its datum, or a failure record for a datatype a record cannot hold.
    static BACnet::DataType::BACnetLogRecord datumOf(const BACnet::ValueContainer& value);

private:
    /// One property read for the logs that log it.
    using Key = std::pair<Poco::UInt32, Poco::UInt32>;  // 32-bit object identifier, property

    class Round
    {
    public:
        Poco::Timestamp time;
        std::map<Key, std::vector<Poco::UInt32>> logs;
    };

    void run();
    /// The next round of `log` after `now`: on its grid, or never for a log read only when triggered.
    static Poco::Timestamp nextDue(const BACnet::Device::LogStore::Log& log, const Poco::Timestamp& now);
    void markInterruptions();
    void pollDueLogs(const Poco::Timestamp& now);
    void subscribeDueLogs(const Poco::Timestamp& now);
    void cancelSubscriptions();
    /// What a COV log subscribes to.
    static BACnet::Client::DataPropertyKey keyOf(const BACnet::Device::LogStore::Log& log);
    void take(Poco::Notification* pNotification);
    void takeHostRequest(const Utility::Notification& request);
    void subscribed(Poco::UInt32 requestId, const BACnet::Client::DataError& error);
    void recordChange(const BACnet::Client::DataResponseCOV& notification);
    void record(Poco::UInt32 instance, const Poco::Timestamp& time,
                const BACnet::DataType::BACnetLogRecord& datum);
    void finishRound(Poco::UInt32 requestId, const std::vector<BACnet::Client::DataResponseRPM>* pResponses,
                     const BACnet::Client::DataError& error);
    void watchClock();
    void appendToAll(const BACnet::DataType::BACnetLogRecord& datum, const Poco::Timestamp& time);
    void commit(bool evenWhileWaiting);
    long millisecondsToWait() const;

    const std::shared_ptr<BACnet::Device::LogStore> _pStore;
    Poco::Logger& _log;
    Poco::NotificationQueue _replies;
    BACnet::Client::ServiceHelper _helper;
    std::vector<BACnet::Device::LogStore::Log> _logs;
    std::map<Poco::UInt32, Poco::Timestamp> _due;  ///< by log instance
    std::set<Poco::UInt32> _reading;               ///< logs with a read on its way
    std::map<Poco::UInt32, Round> _rounds;         ///< by request id
    Poco::UInt32 _processIdentifier = 0;
    std::map<Poco::UInt32, Poco::Timestamp> _renewals;  ///< of the COV logs, by log instance
    std::map<Poco::UInt32, Poco::UInt32> _subscribing;  ///< log instance by request id
    std::set<Poco::UInt32> _subscribed;                 ///< COV logs subscribed or asking to be
    std::vector<BACnet::Device::LogStore::Entry> _pending;
    Poco::Clock _pendingSince;
    Poco::Clock _monotonic;
    Poco::Timestamp _wall;
    bool _stopping = false;
    Poco::RunnableAdapter<TrendLogRecorder> _runnable;
    Poco::Thread _thread;
};

}  // namespace Orvik::Gateway
