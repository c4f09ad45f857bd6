#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"

#include "SimulatedDevice.h"
#include "SimulatedPoint.h"
#include "SimulatedTrendLog.h"
#include "SiteFileReader.h"
#include "SiteTask.h"

#include <Poco/Clock.h>
#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>

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

}  // namespace

SimulatedSite::SimulatedSite()
    : _pTransactions(std::make_unique<TransactionTable>(TransactionTable::Settings())),
      _thread("SimulatedSite")
{
}

SimulatedSite::~SimulatedSite()
{
    close();
}

std::unique_ptr<SimulatedSite> SimulatedSite::load(const std::string& path)
{
    return SiteFileReader::readFile(path);
}

std::unique_ptr<SimulatedSite> SimulatedSite::parse(const std::string& text, const std::string& origin)
{
    return SiteFileReader::readText(text, origin);
}

void SimulatedSite::addDevice(std::unique_ptr<SimulatedDevice> pDevice)
{
    std::lock_guard<std::mutex> lock(_mutex);
    const Poco::UInt32 instance = pDevice->getInstance();
    if (_devices.count(instance) > 0)
        throw Poco::ExistsException("Device " + Poco::NumberFormatter::format(instance) +
                                    " twice in the site");
    _devices[instance] = std::move(pDevice);
}

void SimulatedSite::setTransactionSettings(const TransactionTable::Settings& settings, Clock& clock)
{
    if (_thread.isRunning())
        throw Poco::IllegalStateException("The transaction settings of an open site cannot change");
    _pClock = &clock;
    _pTransactions = std::make_unique<TransactionTable>(settings, clock);
}

// ---- Network ------------------------------------------------------------------------------------------

void SimulatedSite::open(NetworkListener& listener)
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _pListener = &listener;
    }
    _thread.startFunc([this] { runTasks(); });
    _tasks.enqueueNotification(new SiteTask([this] { tick(); }), clockIn(_tickMs));
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
    std::lock_guard<std::mutex> lock(_mutex);
    for (const auto& entry : _devices)
    {
        const SimulatedDevice& answering = *entry.second;
        if (!answering.answersWhoIs(destination, lowLimit, highLimit))
            continue;
        const DataResponseWhoIs iAm = answering.iAm();
        _tasks.enqueueNotification(new SiteTask([this, iAm] { _pListener->onIAm(iAm); }),
                                   clockIn(answering.getDelayMs()));
    }
}

void SimulatedSite::sendReadProperty(Poco::UInt32 transactionId, const DataPropertyKey& key)
{
    serveConfirmed(key.deviceInstance, transactionId,
                   [key](SimulatedDevice& d, const Poco::Timestamp& now)
                   { return d.readProperty(key, now); });
}

void SimulatedSite::sendReadPropertyMultiple(Poco::UInt32 transactionId, Poco::UInt32 deviceInstance,
                                             const std::vector<NotificationRequestRPM::Parameter>& parameters)
{
    serveConfirmed(deviceInstance, transactionId,
                   [parameters](SimulatedDevice& d, const Poco::Timestamp& now)
                   { return d.readPropertyMultiple(parameters, now); });
}

void SimulatedSite::sendReadRange(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                  const ReadRange::Range& range)
{
    serveConfirmed(key.deviceInstance, transactionId,
                   [key, range](SimulatedDevice& d, const Poco::Timestamp& now)
                   { return d.readRange(key, range, now); });
}

void SimulatedSite::sendWriteProperty(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                      Poco::UInt32 priority, const ValueContainer& value)
{
    serveConfirmed(key.deviceInstance, transactionId,
                   [key, priority, value](SimulatedDevice& d, const Poco::Timestamp&)
                   { return d.writeProperty(key, priority, value); });
}

void SimulatedSite::sendSubscribeCOV(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                     const NotificationRequestSubscribeCOV::Parameters& parameters)
{
    serveConfirmed(key.deviceInstance, transactionId,
                   [key, parameters](SimulatedDevice& d, const Poco::Timestamp& now)
                   { return d.subscribeCOV(key, parameters, now); });
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

void SimulatedSite::schedule(Poco::UInt32 deviceInstance, std::function<void()> task)
{
    Poco::UInt32 delayMs = 0;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (const SimulatedDevice* pDevice = findDevice(deviceInstance))
            delayMs = pDevice->getDelayMs();
    }
    _tasks.enqueueNotification(new SiteTask(std::move(task)), clockIn(delayMs));
}

void SimulatedSite::serveConfirmed(Poco::UInt32 deviceInstance, Poco::UInt32 transactionId, Service service)
{
    _pTransactions->open(transactionId, deviceInstance,
                         [this, deviceInstance, service](Poco::UInt8 invokeId)
                         {
                             schedule(deviceInstance, [this, deviceInstance, invokeId, service]
                                      { serve(deviceInstance, invokeId, service); });
                         });
    schedulePoll();
}

void SimulatedSite::serve(Poco::UInt32 deviceInstance, Poco::UInt8 invokeId, const Service& service)
{
    std::optional<NetworkReply> reply;
    std::vector<DataResponseCOV> notifications;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        SimulatedDevice* pDevice = findDevice(deviceInstance);
        if (pDevice == nullptr)
            return;  // no such device on the network: nobody answers
        pDevice->receive();
        if (pDevice->isSilent())
            return;
        const Poco::Timestamp now;
        reply = service(*pDevice, now);
        notifications = pDevice->advance(now);
    }
    if (reply)
    {
        if (const std::optional<Poco::UInt32> transactionId =
                _pTransactions->complete(deviceInstance, invokeId))
            _pListener->onReply(*transactionId, std::move(*reply));
    }
    sendNotifications(notifications);
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
    static const DataError TIMEOUT(ERROR_CLASS_COMMUNICATION, ERROR_CODE_TIMEOUT);
    for (const TransactionTable::Ended& timedOut : _pTransactions->expire())
        _pListener->onReply(timedOut.transactionId, NetworkReply(TIMEOUT));
    schedulePoll();
}

void SimulatedSite::tick()
{
    std::vector<DataResponseCOV> notifications;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        const Poco::Timestamp now;
        for (const auto& entry : _devices)
        {
            std::vector<DataResponseCOV> due = entry.second->advance(now);
            if (!entry.second->isSilent())
                notifications.insert(notifications.end(), due.begin(), due.end());
        }
    }
    sendNotifications(notifications);
    _tasks.enqueueNotification(new SiteTask([this] { tick(); }), clockIn(_tickMs));
}

void SimulatedSite::sendNotifications(const std::vector<DataResponseCOV>& notifications)
{
    for (const DataResponseCOV& notification : notifications)
        _pListener->onCOVNotification(notification);
}

// ---- tests and tools ----------------------------------------------------------------------------------

std::vector<Poco::UInt32> SimulatedSite::getDeviceInstances() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    std::vector<Poco::UInt32> instances;
    for (const auto& entry : _devices)
        instances.push_back(entry.first);
    return instances;
}

DataError SimulatedSite::readProperty(const DataPropertyKey& key, ValueContainer& value) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    const SimulatedObject* pObject = device(key.deviceInstance).findObject(key.objectIdentifier);
    if (pObject == nullptr)
        return DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT);
    return pObject->read(key.propertyRef, Poco::Timestamp(), value);
}

DataError SimulatedSite::changeValue(const DataObjectKey& object, const ValueContainer& value)
{
    DataError error;
    std::vector<DataResponseCOV> notifications;
    NetworkListener* pListener = nullptr;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        pListener = _pListener;
        SimulatedDevice& changed = device(object.deviceInstance);
        auto* pPoint = dynamic_cast<SimulatedPoint*>(changed.findObject(object.objectIdentifier));
        if (pPoint == nullptr)
            return DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT);
        error = pPoint->changeValue(value);
        notifications = changed.advance(Poco::Timestamp());
        if (changed.isSilent())
            notifications.clear();
    }
    for (const DataResponseCOV& notification : notifications)
    {
        if (pListener != nullptr)
            pListener->onCOVNotification(notification);
    }
    return error;
}

Poco::UInt64 SimulatedSite::getFirstSequenceNumber(const DataObjectKey& key) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return trendLog(key).getSeries().firstHeld(Poco::Timestamp());
}

Poco::UInt64 SimulatedSite::getLastSequenceNumber(const DataObjectKey& key) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return trendLog(key).getSeries().lastHeld(Poco::Timestamp());
}

std::vector<DataType::BACnetLogRecord> SimulatedSite::getLogRecords(const DataObjectKey& key,
                                                                    Poco::UInt64 sequenceNumber) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return trendLog(key).records(sequenceNumber);
}

void SimulatedSite::setClockStep(const DataObjectKey& key, Poco::UInt64 sequenceNumber,
                                 const Poco::Timespan& step)
{
    std::lock_guard<std::mutex> lock(_mutex);
    trendLog(key).setClockStep(sequenceNumber, step);
}

void SimulatedSite::setSilent(Poco::UInt32 deviceInstance, bool silent)
{
    std::lock_guard<std::mutex> lock(_mutex);
    device(deviceInstance).setSilent(silent);
}

void SimulatedSite::setDelay(Poco::UInt32 deviceInstance, Poco::UInt32 delayMs)
{
    std::lock_guard<std::mutex> lock(_mutex);
    device(deviceInstance).setDelayMs(delayMs);
}

void SimulatedSite::addFault(Poco::UInt32 deviceInstance, const SimulatedFault& fault)
{
    std::lock_guard<std::mutex> lock(_mutex);
    device(deviceInstance).addFault(fault);
}

void SimulatedSite::clearFaults(Poco::UInt32 deviceInstance)
{
    std::lock_guard<std::mutex> lock(_mutex);
    device(deviceInstance).clearFaults();
}

Poco::UInt32 SimulatedSite::getRequestCount(Poco::UInt32 deviceInstance) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return device(deviceInstance).getRequestCount();
}

std::size_t SimulatedSite::countSubscriptions(const DataObjectKey& object) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return device(object.deviceInstance).countSubscriptions(object.objectIdentifier);
}

SimulatedDevice& SimulatedSite::device(Poco::UInt32 deviceInstance) const
{
    SimulatedDevice* pDevice = findDevice(deviceInstance);
    if (pDevice == nullptr)
        throw Poco::NotFoundException("No device " + Poco::NumberFormatter::format(deviceInstance) +
                                      " in the site");
    return *pDevice;
}

SimulatedDevice* SimulatedSite::findDevice(Poco::UInt32 deviceInstance) const
{
    auto it = _devices.find(deviceInstance);
    return it == _devices.end() ? nullptr : it->second.get();
}

SimulatedTrendLog& SimulatedSite::trendLog(const DataObjectKey& key) const
{
    auto* pTrendLog =
        dynamic_cast<SimulatedTrendLog*>(device(key.deviceInstance).findObject(key.objectIdentifier));
    if (pTrendLog == nullptr)
        throw Poco::NotFoundException("No trend log " + key.objectIdentifier.toString() + " in device " +
                                      Poco::NumberFormatter::format(key.deviceInstance));
    return *pTrendLog;
}

}  // namespace Orvik::BACnet::Client::Simulation
