#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"

#include "RecordConversion.h"
#include "SiteTask.h"

#include <Poco/Clock.h>
#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>

#include <memory>
#include <thread>
#include <type_traits>
#include <variant>

namespace Orvik::BACnet::Client::Simulation
{

namespace
{

Poco::Clock clockIn(Poco::UInt32 milliseconds)
{
    Poco::Clock due;
    due += static_cast<Poco::Clock::ClockDiff>(milliseconds) * 1000;
    return due;
}

/// The in-process network has one client; its COV subscriptions name no address.
const DataType::BACnetAddress THE_CLIENT;

/// The client's record of a model's reply.
NetworkReply replyOf(Device::ServiceReply&& reply)
{
    return std::visit(
        [](auto&& payload) -> NetworkReply
        {
            using Payload = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<Payload, Device::ServiceReply::SimpleAck>)
                return NetworkReply(NetworkReply::Ack());
            else if constexpr (std::is_same_v<Payload, Codec::ServiceError>)
                return NetworkReply(payload);
            else if constexpr (std::is_same_v<Payload, Codec::ReadProperty::Ack>)
                return NetworkReply(std::move(payload.value));
            else if constexpr (std::is_same_v<Payload, Codec::ReadRange::Ack>)
            {
                // The simulated network names the first record's sequence number for every range.
                ReadRangeAck::Result result = RecordConversion::resultOf(payload);
                result.firstSequenceNumber = payload.firstSequenceNumber;
                return NetworkReply(std::move(result));
            }
            else
            {
                std::vector<DataResponseRPM> responses;
                for (const Codec::ReadPropertyMultiple::ObjectResult& result : payload)
                    responses.push_back(RecordConversion::resultOf(result));
                return NetworkReply(std::move(responses));
            }
        },
        std::move(reply.payload));
}

DataResponseWhoIs iAmOf(const Device::Site::Presence& presence)
{
    return DataResponseWhoIs(presence.iAm.deviceIdentifier.getInstance(), presence.iAm.vendorId,
                             presence.address, presence.iAm.maxApduLengthAccepted, presence.iAm.segmentation);
}

}  // namespace

SimulatedSite::SimulatedSite() : SimulatedSite(std::make_unique<Device::Site>()) {}

SimulatedSite::SimulatedSite(std::shared_ptr<Device::Site> pSite)
    : _pSite(std::move(pSite)),
      _pTransactions(tableOf(TransactionTable::Settings(), Clock::system())),
      _thread("SimulatedSite")
{
}

SimulatedSite::~SimulatedSite()
{
    close();
}

std::unique_ptr<SimulatedSite> SimulatedSite::load(const std::string& path)
{
    return std::make_unique<SimulatedSite>(Device::Site::load(path));
}

std::unique_ptr<SimulatedSite> SimulatedSite::parse(const std::string& text, const std::string& origin)
{
    return std::make_unique<SimulatedSite>(Device::Site::parse(text, origin));
}

void SimulatedSite::setTransactionSettings(const TransactionTable::Settings& settings, Clock& clock)
{
    if (_thread.isRunning())
        throw Poco::IllegalStateException("The transaction settings of an open site cannot change");
    _pClock = &clock;
    _pTransactions = tableOf(settings, clock);
}

std::unique_ptr<TransactionTable> SimulatedSite::tableOf(const TransactionTable::Settings& settings,
                                                         Clock& clock)
{
    return std::make_unique<TransactionTable>(settings, clock, nullptr,
                                              [this](Poco::UInt32 transactionId, bool waiting)
                                              { _pListener->onQueueing(transactionId, waiting); });
}

void SimulatedSite::passOtherSubscribers(std::function<void(const std::vector<Device::COVDelivery>&)> pass)
{
    _passOtherSubscribers = std::move(pass);
}

// ---- Network ------------------------------------------------------------------------------------------

void SimulatedSite::open(NetworkListener& listener)
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _pListener = &listener;
    }
    _thread.startFunc([this] { runTasks(); });
    _tasks.enqueueNotification(new SiteTask([this] { tick(); }), clockIn(_pSite->getTickMs()));
    // A clock that jumps makes the timers due at once.
    _waker = _pClock->addWaker(
        [this]
        {
            std::lock_guard<std::mutex> lock(_pollMutex);
            _pollDue.reset();
            const Poco::UInt64 generation = ++_pollGeneration;
            _tasks.enqueueNotification(new SiteTask([this, generation] { pollTransactions(generation); }),
                                       Poco::Clock());
        });
}

void SimulatedSite::close()
{
    if (!_thread.isRunning())
        return;
    _pClock->removeWaker(_waker);
    _tasks.enqueueNotification(new SiteTask(), Poco::Clock());
    _thread.join();
    _tasks.clear();
    _pTransactions->clear();
    {
        std::lock_guard<std::mutex> lock(_pollMutex);
        _pollDue.reset();
    }
    std::lock_guard<std::mutex> lock(_mutex);
    _pListener = nullptr;
}

void SimulatedSite::sendWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                              Poco::UInt32 highLimit)
{
    for (const Device::Site::Presence& presence : _pSite->whoIs(destination, lowLimit, highLimit))
    {
        const DataResponseWhoIs iAm = iAmOf(presence);
        _tasks.enqueueNotification(new SiteTask([this, iAm] { _pListener->onIAm(iAm); }),
                                   clockIn(presence.delayMs));
    }
}

void SimulatedSite::sendReadProperty(Poco::UInt32 transactionId, const DataPropertyKey& key)
{
    serveConfirmed(key.deviceInstance, transactionId,
                   Device::ServiceRequest(RecordConversion::readPropertyOf(key)));
}

void SimulatedSite::sendReadPropertyMultiple(Poco::UInt32 transactionId, Poco::UInt32 deviceInstance,
                                             const std::vector<NotificationRequestRPM::Parameter>& parameters)
{
    serveConfirmed(deviceInstance, transactionId,
                   Device::ServiceRequest(RecordConversion::objectRequestsOf(parameters)));
}

void SimulatedSite::sendReadRange(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                  const ReadRange::Range& range)
{
    serveConfirmed(key.deviceInstance, transactionId,
                   Device::ServiceRequest(RecordConversion::readRangeOf(key, range)));
}

void SimulatedSite::sendWriteProperty(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                      Poco::UInt32 priority, const ValueContainer& value)
{
    serveConfirmed(key.deviceInstance, transactionId,
                   Device::ServiceRequest(RecordConversion::writePropertyOf(key, priority, value)));
}

void SimulatedSite::sendSubscribeCOV(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                     const NotificationRequestSubscribeCOV::Parameters& parameters)
{
    serveConfirmed(key.deviceInstance, transactionId,
                   Device::ServiceRequest(RecordConversion::subscriptionOf(key, parameters)));
}

void SimulatedSite::endTransaction(Poco::UInt32 transactionId)
{
    _pTransactions->end(transactionId);
}

// ---- the site's thread --------------------------------------------------------------------------------

void SimulatedSite::runTasks()
{
    for (;;)
    {
        Poco::AutoPtr<Poco::Notification> pNf(_tasks.waitDequeueNotification());
        auto* pTask = dynamic_cast<SiteTask*>(pNf.get());
        if (pTask == nullptr || pTask->isStop())
            return;
        pTask->run();
    }
}

Poco::UInt32 SimulatedSite::delayOf(Poco::UInt32 deviceInstance) const
{
    const std::optional<Device::Site::Presence> presence = _pSite->presenceOf(deviceInstance);
    return presence ? presence->delayMs : 0;
}

void SimulatedSite::serveLater(Poco::UInt32 deviceInstance, Poco::UInt8 invokeId,
                               const Device::ServiceRequest& request)
{
    _tasks.enqueueNotification(
        new SiteTask([this, deviceInstance, invokeId, request] { serve(deviceInstance, invokeId, request); }),
        clockIn(delayOf(deviceInstance)));
}

void SimulatedSite::serveConfirmed(Poco::UInt32 deviceInstance, Poco::UInt32 transactionId,
                                   Device::ServiceRequest request)
{
    // What the table sends while it opens the transaction is sent from this thread (the client
    // worker's or a requester's); later sends (a slot of the device came free, a retry) come from other
    // threads.
    struct Opening
    {
        const std::thread::id thread = std::this_thread::get_id();
        bool open = true;
        std::optional<Poco::UInt8> invokeId;
    };
    auto pOpening = std::make_shared<Opening>();
    _pTransactions->open(transactionId, deviceInstance,
                         [this, deviceInstance, request, pOpening](Poco::UInt8 invokeId)
                         {
                             if (pOpening->open && std::this_thread::get_id() == pOpening->thread)
                                 pOpening->invokeId = invokeId;
                             else
                                 serveLater(deviceInstance, invokeId, request);
                         });
    pOpening->open = false;
    if (pOpening->invokeId)
    {
        // A device without delay answers at once, on this thread: its answer reaches the requester's
        // queue without a hop through the site's thread and back (two thread switches per request).
        if (!_serveOnSiteThread && delayOf(deviceInstance) == 0)
            serve(deviceInstance, *pOpening->invokeId, request);
        else
            serveLater(deviceInstance, *pOpening->invokeId, request);
    }
    schedulePoll();
}

void SimulatedSite::serve(Poco::UInt32 deviceInstance, Poco::UInt8 invokeId,
                          const Device::ServiceRequest& request)
{
    Device::Site::Served served = _pSite->serve(deviceInstance, request, THE_CLIENT, Poco::Timestamp());
    if (served.reply)
    {
        if (const std::optional<Poco::UInt32> transactionId =
                _pTransactions->complete(deviceInstance, invokeId))
            _pListener->onReply(*transactionId, replyOf(std::move(*served.reply)));
    }
    sendNotifications(served.notifications);
}

void SimulatedSite::schedulePoll()
{
    const Poco::Int64 wait = _pTransactions->millisecondsToNextTimer();
    if (wait < 0)
        return;
    const Poco::Int64 due = _pClock->milliseconds() + wait;
    Poco::UInt64 generation = 0;
    {
        std::lock_guard<std::mutex> lock(_pollMutex);
        if (_pollDue && *_pollDue <= due)
            return;  // the live poll comes first
        _pollDue = due;
        generation = ++_pollGeneration;
    }
    _tasks.enqueueNotification(new SiteTask([this, generation] { pollTransactions(generation); }),
                               clockIn(static_cast<Poco::UInt32>(wait)));
}

void SimulatedSite::pollTransactions(Poco::UInt64 generation)
{
    {
        std::lock_guard<std::mutex> lock(_pollMutex);
        if (generation != _pollGeneration)
            return;  // replaced by an earlier poll, which keeps the timers going
        _pollDue.reset();
    }
    for (const TransactionTable::Ended& timedOut : _pTransactions->expire())
        _pListener->onReply(timedOut.transactionId, NetworkReply(DataError::timeout()));
    schedulePoll();
}

void SimulatedSite::tick()
{
    sendNotifications(_pSite->advance(Poco::Timestamp()));
    _tasks.enqueueNotification(new SiteTask([this] { tick(); }), clockIn(_pSite->getTickMs()));
}

void SimulatedSite::sendNotifications(const std::vector<Device::COVDelivery>& notifications)
{
    std::vector<Device::COVDelivery> others;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        for (const Device::COVDelivery& delivery : notifications)
        {
            if (_passOtherSubscribers && delivery.subscriber != THE_CLIENT)
                others.push_back(delivery);
            else if (_pListener != nullptr)
                _pListener->onCOVNotification(
                    RecordConversion::notificationOf(delivery.notification, delivery.confirmed));
        }
    }
    if (!others.empty())
        _passOtherSubscribers(others);
}

// ---- tests and tools ----------------------------------------------------------------------------------

std::vector<Poco::UInt32> SimulatedSite::getDeviceInstances() const
{
    return _pSite->getDeviceInstances();
}

DataError SimulatedSite::readProperty(const DataPropertyKey& key, ValueContainer& value) const
{
    return _pSite->readProperty(key.deviceInstance, key.objectIdentifier,
                                RecordConversion::propertyOf(key.propertyRef), value);
}

DataError SimulatedSite::changeValue(const DataObjectKey& object, const ValueContainer& value)
{
    std::vector<Device::COVDelivery> notifications;
    const DataError error =
        _pSite->changeValue(object.deviceInstance, object.objectIdentifier, value, notifications);
    sendNotifications(notifications);
    return error;
}

Poco::UInt64 SimulatedSite::getFirstSequenceNumber(const DataObjectKey& key) const
{
    return _pSite->getFirstSequenceNumber(key.deviceInstance, key.objectIdentifier);
}

Poco::UInt64 SimulatedSite::getLastSequenceNumber(const DataObjectKey& key) const
{
    return _pSite->getLastSequenceNumber(key.deviceInstance, key.objectIdentifier);
}

std::vector<DataType::BACnetLogRecord> SimulatedSite::getLogRecords(const DataObjectKey& key,
                                                                    Poco::UInt64 sequenceNumber) const
{
    return _pSite->getLogRecords(key.deviceInstance, key.objectIdentifier, sequenceNumber);
}

void SimulatedSite::setClockStep(const DataObjectKey& key, Poco::UInt64 sequenceNumber,
                                 const Poco::Timespan& step)
{
    _pSite->setClockStep(key.deviceInstance, key.objectIdentifier, sequenceNumber, step);
}

void SimulatedSite::setSilent(Poco::UInt32 deviceInstance, bool silent)
{
    _pSite->setSilent(deviceInstance, silent);
}

void SimulatedSite::setDelay(Poco::UInt32 deviceInstance, Poco::UInt32 delayMs)
{
    _pSite->setDelay(deviceInstance, delayMs);
}

void SimulatedSite::addFault(Poco::UInt32 deviceInstance, const SimulatedFault& fault)
{
    _pSite->addFault(deviceInstance, fault);
}

void SimulatedSite::clearFaults(Poco::UInt32 deviceInstance)
{
    _pSite->clearFaults(deviceInstance);
}

Poco::UInt32 SimulatedSite::getRequestCount(Poco::UInt32 deviceInstance) const
{
    return _pSite->getRequestCount(deviceInstance);
}

std::size_t SimulatedSite::countSubscriptions(const DataObjectKey& object) const
{
    return _pSite->countSubscriptions(object.deviceInstance, object.objectIdentifier);
}

}  // namespace Orvik::BACnet::Client::Simulation
