#pragma once

#include "Orvik_BACnet/DataType/BACnetLogRecord.h"
#include "Orvik_BACnet/TransactionTable.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetDevice/Site.h"

#include <Poco/Thread.h>
#include <Poco/TimedNotificationQueue.h>
#include <Poco/Timespan.h>
#include <Poco/Types.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Orvik::BACnet::Client::Simulation
{

/// The faults of a simulated device, as tests set them (Device::SimulatedFault).
using Device::SimulatedFault;

/// A simulated BACnet network: the in-process devices of a site file (sites/README.md; the device model
/// is Device::Site, which orvik-site serves on BACnet/IP too), served on a thread of the site's own.
/// This class only carries requests and answers between the client's records and the model's.
///
/// As a Network (see Network.h) it behaves like real devices: each request is carried out when the
/// device's delay has passed, on the site's thread, so a slow device never holds up the others; a
/// device without delay is served at once on the thread that sends (the client worker's), and its
/// answer is queued for the listener like any other. A silent device answers nothing (no I-Am either); an
/// unknown device instance answers nothing; faults make a device answer errors or drop requests. Confirmed
/// requests go through a TransactionTable like on a real network: invoke ids, the APDU time-out and retries
/// on the site's clock (a dropped request is sent again; the device counts every try), at most so many
/// outstanding requests per device. Values that drift, COV subscriptions with their lifetimes and live trend
/// logs move on with wall time (the site's tick); device delays are wall time too.
///
/// The other public operations are for tests and tools: they read what the site holds, change values
/// and set faults, from any thread. They throw Poco::NotFoundException for a device or trend log that
/// the site does not have.
class SimulatedSite : public Network
{
public:
    /// An empty site (no device).
    SimulatedSite();
    /// Serves `pSite`'s devices (shared with whoever else serves or changes them).
    explicit SimulatedSite(std::shared_ptr<Device::Site> pSite);
    ~SimulatedSite() override;

    /// The site of a site file. Throws Poco::FileNotFoundException, or Poco::DataFormatException that
    /// names the file and what is wrong in it.
    static std::unique_ptr<SimulatedSite> load(const std::string& path);
    /// The site of a site file's text; `origin` names it in error messages.
    static std::unique_ptr<SimulatedSite> parse(const std::string& text, const std::string& origin);

    /// The device model this network serves.
    Device::Site& getSite() { return *_pSite; }
    /// The transaction settings and the clock of their timers (not owned; it must outlive the site).
    /// Before open() only: throws Poco::IllegalStateException on an open site.
    void setTransactionSettings(const TransactionTable::Settings& settings, Clock& clock = Clock::system());
    /// The COV notifications for subscribers other than this network's client (subscriptions made
    /// through another server of the same site) go to `pass` instead of the client. Before open() only.
    void passOtherSubscribers(std::function<void(const std::vector<Device::COVDelivery>&)> pass);
    /// With true, devices without delay are served on the site's thread too, as every device was
    /// before: each answer then takes two more thread switches (a measurement's baseline). Before
    /// open() only.
    void setServeOnSiteThread(bool onSiteThread) { _serveOnSiteThread = onSiteThread; }
    /// The site's transactions (per-device limits, how many are open).
    TransactionTable& getTransactions() { return *_pTransactions; }

    // ---- Network ------------------------------------------------------------------------------------

    void open(NetworkListener& listener) override;
    void close() override;
    void sendWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                   Poco::UInt32 highLimit) override;
    void sendReadProperty(Poco::UInt32 transactionId, const DataPropertyKey& key) override;
    void sendReadPropertyMultiple(Poco::UInt32 transactionId, Poco::UInt32 deviceInstance,
                                  const std::vector<NotificationRequestRPM::Parameter>& parameters) override;
    void sendReadRange(Poco::UInt32 transactionId, const DataPropertyKey& key,
                       const ReadRange::Range& range) override;
    void sendWriteProperty(Poco::UInt32 transactionId, const DataPropertyKey& key, Poco::UInt32 priority,
                           const ValueContainer& value) override;
    void sendSubscribeCOV(Poco::UInt32 transactionId, const DataPropertyKey& key,
                          const NotificationRequestSubscribeCOV::Parameters& parameters) override;
    void endTransaction(Poco::UInt32 transactionId) override;

    // ---- tests and tools ----------------------------------------------------------------------------

    std::vector<Poco::UInt32> getDeviceInstances() const;

    /// What the device would answer to a ReadProperty now, without its faults and not counted.
    DataError readProperty(const DataPropertyKey& key, ValueContainer& value) const;
    /// The object's own value changes (a new sensor reading; the relinquish default of a commandable
    /// object); COV notifications follow at once. Returns the error when the value does not fit.
    DataError changeValue(const DataObjectKey& object, const ValueContainer& value);

    /// Sequence numbers of the records a trend log holds now (first > last: none).
    Poco::UInt64 getFirstSequenceNumber(const DataObjectKey& trendLog) const;
    Poco::UInt64 getLastSequenceNumber(const DataObjectKey& trendLog) const;
    /// The records of one sequence number (one per logged channel), as ReadRange sends them.
    std::vector<DataType::BACnetLogRecord> getLogRecords(const DataObjectKey& trendLog,
                                                         Poco::UInt64 sequenceNumber) const;
    /// The device's clock was moved by `step` (negative: set back, as by a time sync) just before the
    /// trend log logged record `sequenceNumber`: that record and the later ones carry moved times.
    void setClockStep(const DataObjectKey& trendLog, Poco::UInt64 sequenceNumber, const Poco::Timespan& step);

    void setSilent(Poco::UInt32 deviceInstance, bool silent);
    /// Every answer of the device comes `delayMs` late.
    void setDelay(Poco::UInt32 deviceInstance, Poco::UInt32 delayMs);
    void addFault(Poco::UInt32 deviceInstance, const SimulatedFault& fault);
    void clearFaults(Poco::UInt32 deviceInstance);
    /// Confirmed requests the device received (answered, dropped or ignored because it is silent).
    Poco::UInt32 getRequestCount(Poco::UInt32 deviceInstance) const;
    /// Active COV subscriptions of an object.
    std::size_t countSubscriptions(const DataObjectKey& object) const;

private:
    void runTasks();
    Poco::UInt32 delayOf(Poco::UInt32 deviceInstance) const;
    /// Serves a request on the site's thread once the device's delay has passed.
    std::unique_ptr<TransactionTable> tableOf(const TransactionTable::Settings& settings, Clock& clock);
    void serveLater(Poco::UInt32 deviceInstance, Poco::UInt8 invokeId, const Device::ServiceRequest& request);
    void serveConfirmed(Poco::UInt32 deviceInstance, Poco::UInt32 transactionId,
                        Device::ServiceRequest request);
    void serve(Poco::UInt32 deviceInstance, Poco::UInt8 invokeId, const Device::ServiceRequest& request);
    void schedulePoll();
    void pollTransactions(Poco::UInt64 generation);
    void tick();
    void sendNotifications(const std::vector<Device::COVDelivery>& notifications);

    const std::shared_ptr<Device::Site> _pSite;
    std::function<void(const std::vector<Device::COVDelivery>&)> _passOtherSubscribers;
    /// Guards the listener (tools change values from any thread).
    mutable std::mutex _mutex;
    NetworkListener* _pListener = nullptr;
    Clock* _pClock = &Clock::system();
    bool _serveOnSiteThread = false;
    std::unique_ptr<TransactionTable> _pTransactions;
    Poco::UInt64 _waker = 0;
    /// One live poll of the transaction timers: the due time (on the clock) and generation of the
    /// scheduled poll; a poll of an older generation does nothing.
    std::mutex _pollMutex;
    std::optional<Poco::Int64> _pollDue;
    Poco::UInt64 _pollGeneration = 0;
    Poco::TimedNotificationQueue _tasks;
    Poco::Thread _thread;
};

}  // namespace Orvik::BACnet::Client::Simulation
