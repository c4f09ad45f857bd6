#include "Orvik_BACnet/TransactionTable.h"

#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>

#include <algorithm>
#include <limits>

namespace Orvik::BACnet
{

namespace
{

const Poco::UInt32 INVOKE_IDS = 256;

}  // namespace

TransactionTable::TransactionTable(const Settings& settings, Clock& clock, FindDevice findDevice,
                                   Queueing queueing)
    : _settings(settings), _clock(clock), _findDevice(std::move(findDevice)), _queueing(std::move(queueing))
{
}

void TransactionTable::setLimits(Poco::UInt32 deviceInstance, Poco::UInt32 maxOutstanding,
                                 std::optional<Link> link)
{
    std::lock_guard<std::mutex> lock(_mutex);
    Device& aDevice = device(deviceInstance);
    aDevice.maxOutstanding = std::clamp<Poco::UInt32>(maxOutstanding, 1, INVOKE_IDS);
    const std::optional<Poco::UInt32> previous = aDevice.link;
    moveToLink(deviceInstance, aDevice, link);
    sendWaiting(aDevice);
    if (previous && previous != aDevice.link)
        sendWaitingOnLink(*previous);
}

void TransactionTable::open(Poco::UInt32 transactionId, Poco::UInt32 deviceInstance, Transmit transmit,
                            bool addressKnown)
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_transactions.count(transactionId) > 0)
        throw Poco::ExistsException("Transaction " + Poco::NumberFormatter::format(transactionId) +
                                    " is open already");
    if (_transactions.size() >= _settings.maxOpen)
        throw Poco::PoolOverflowException("Too many open BACnet transactions");
    Transaction& transaction = _transactions[transactionId];
    transaction.deviceInstance = deviceInstance;
    transaction.transmit = std::move(transmit);
    transaction.arrival = ++_arrivals;
    Device& aDevice = device(deviceInstance);
    aDevice.waiting.push_back(transactionId);
    if (!addressKnown && _findDevice)
    {
        if (!aDevice.findingAddress)
            startFinding(deviceInstance, aDevice);
    }
    else
    {
        sendWaiting(aDevice);
    }
    if (transaction.state == WAITING && _queueing)
    {
        transaction.reportedWaiting = true;
        _queueing(transactionId, true);
    }
}

void TransactionTable::bind(Poco::UInt32 deviceInstance)
{
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _devices.find(deviceInstance);
    if (it == _devices.end() || !it->second.findingAddress)
        return;
    it->second.findingAddress = false;
    sendWaiting(it->second);
}

bool TransactionTable::awaitsAddress(Poco::UInt32 deviceInstance) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _devices.find(deviceInstance);
    return it != _devices.end() && it->second.findingAddress;
}

std::optional<Poco::UInt32> TransactionTable::find(Poco::UInt32 deviceInstance, Poco::UInt8 invokeId) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    auto found = _byInvokeId.find(InvokeKey(deviceInstance, invokeId));
    if (found == _byInvokeId.end())
        return std::nullopt;
    return found->second;
}

std::optional<Poco::UInt32> TransactionTable::complete(Poco::UInt32 deviceInstance, Poco::UInt8 invokeId)
{
    std::lock_guard<std::mutex> lock(_mutex);
    auto found = _byInvokeId.find(InvokeKey(deviceInstance, invokeId));
    if (found == _byInvokeId.end())
        return std::nullopt;
    return remove(_transactions.find(found->second)).transactionId;
}

std::optional<Poco::UInt32> TransactionTable::segmentReceived(Poco::UInt32 deviceInstance,
                                                              Poco::UInt8 invokeId)
{
    std::lock_guard<std::mutex> lock(_mutex);
    auto found = _byInvokeId.find(InvokeKey(deviceInstance, invokeId));
    if (found == _byInvokeId.end())
        return std::nullopt;
    Transaction& transaction = _transactions.at(found->second);
    transaction.state = RECEIVING_SEGMENTS;
    transaction.deadline = now() + _settings.segmentTimeoutMs;
    return found->second;
}

std::optional<TransactionTable::Ended> TransactionTable::end(Poco::UInt32 transactionId)
{
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _transactions.find(transactionId);
    if (it == _transactions.end())
        return std::nullopt;
    return remove(it);
}

std::vector<TransactionTable::Ended> TransactionTable::expire()
{
    std::lock_guard<std::mutex> lock(_mutex);
    const Poco::Int64 time = now();
    std::vector<Ended> timedOut;
    expireFinding(time, timedOut);
    for (auto it = _transactions.begin(); it != _transactions.end();)
    {
        Transaction& transaction = it->second;
        if (transaction.state == WAITING || transaction.deadline > time)
        {
            ++it;
            continue;
        }
        if (transaction.state == SENT && transaction.retriesLeft > 0)
        {
            --transaction.retriesLeft;
            transaction.deadline = time + _settings.apduTimeoutMs;
            transmit(transaction);
            ++it;
            continue;
        }
        auto next = std::next(it);
        timedOut.push_back(remove(it));
        it = next;
    }
    return timedOut;
}

Poco::Int64 TransactionTable::millisecondsToNextTimer() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    Poco::Int64 earliest = std::numeric_limits<Poco::Int64>::max();
    for (const auto& entry : _transactions)
    {
        if (entry.second.state != WAITING)
            earliest = std::min(earliest, entry.second.deadline);
    }
    for (const auto& entry : _devices)
    {
        if (entry.second.findingAddress)
            earliest = std::min(earliest, entry.second.findDeadline);
    }
    if (earliest == std::numeric_limits<Poco::Int64>::max())
        return -1;
    return std::max<Poco::Int64>(0, earliest - now());
}

std::size_t TransactionTable::size() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return _transactions.size();
}

void TransactionTable::clear()
{
    std::lock_guard<std::mutex> lock(_mutex);
    _transactions.clear();
    _byInvokeId.clear();
    for (auto& entry : _devices)
    {
        entry.second.waiting.clear();
        entry.second.invokeIdsInUse.reset();
        entry.second.findingAddress = false;
    }
    for (auto& entry : _links)
        entry.second.outstanding = 0;
}

// ---- with the lock held ------------------------------------------------------------------------------

TransactionTable::Device& TransactionTable::device(Poco::UInt32 deviceInstance)
{
    return _devices[deviceInstance];
}

void TransactionTable::moveToLink(Poco::UInt32 deviceInstance, Device& aDevice, std::optional<Link> link)
{
    if (aDevice.link && (!link || link->id != *aDevice.link))
        _links[*aDevice.link].devices.erase(deviceInstance);
    if (!link)
    {
        aDevice.link.reset();
        return;
    }
    LinkState& state = _links[link->id];
    state.devices.insert(deviceInstance);
    state.maxOutstanding = std::max<Poco::UInt32>(link->maxOutstanding, 1);
    aDevice.link = link->id;
}

void TransactionTable::sendWaiting(Device& aDevice)
{
    if (aDevice.link)
        return sendWaitingOnLink(*aDevice.link);
    while (mayGoOut(aDevice))
        sendFront(aDevice);
}

void TransactionTable::sendWaitingOnLink(Poco::UInt32 linkId)
{
    LinkState& link = _links[linkId];
    while (link.outstanding < link.maxOutstanding)
    {
        // The link's oldest request whose device has a free slot.
        Device* pNext = nullptr;
        Poco::UInt64 earliest = std::numeric_limits<Poco::UInt64>::max();
        for (Poco::UInt32 instance : link.devices)
        {
            Device& candidate = device(instance);
            if (!mayGoOut(candidate))
                continue;
            const Poco::UInt64 arrival = _transactions.at(candidate.waiting.front()).arrival;
            if (arrival < earliest)
            {
                earliest = arrival;
                pNext = &candidate;
            }
        }
        if (pNext == nullptr)
            return;
        sendFront(*pNext);
    }
}

bool TransactionTable::hasFreeSlot(const Device& aDevice) const
{
    const std::size_t limit = aDevice.maxOutstanding == 0
                                  ? std::clamp<Poco::UInt32>(_settings.maxOutstanding, 1, INVOKE_IDS)
                                  : aDevice.maxOutstanding;
    return aDevice.invokeIdsInUse.count() < limit;
}

bool TransactionTable::mayGoOut(const Device& aDevice) const
{
    return !aDevice.findingAddress && !aDevice.waiting.empty() && hasFreeSlot(aDevice);
}

void TransactionTable::sendFront(Device& aDevice)
{
    const Poco::UInt32 transactionId = aDevice.waiting.front();
    aDevice.waiting.pop_front();
    send(transactionId, _transactions.at(transactionId), aDevice);
}

void TransactionTable::send(Poco::UInt32 transactionId, Transaction& transaction, Device& aDevice)
{
    Poco::UInt8 invokeId = aDevice.lastInvokeId;
    do
        ++invokeId;  // wraps from 255 to 0
    while (aDevice.invokeIdsInUse.test(invokeId));
    aDevice.lastInvokeId = invokeId;
    aDevice.invokeIdsInUse.set(invokeId);
    _byInvokeId[InvokeKey(transaction.deviceInstance, invokeId)] = transactionId;
    transaction.state = SENT;
    transaction.invokeId = invokeId;
    transaction.retriesLeft = _settings.apduRetries;
    transaction.deadline = now() + _settings.apduTimeoutMs;
    transaction.link = aDevice.link;
    if (aDevice.link)
        ++_links[*aDevice.link].outstanding;
    if (transaction.reportedWaiting)
    {
        transaction.reportedWaiting = false;
        _queueing(transactionId, false);
    }
    transmit(transaction);
}

void TransactionTable::transmit(const Transaction& transaction)
{
    try
    {
        transaction.transmit(transaction.invokeId);
    }
    catch (const std::exception&)
    {
        // As good as a datagram lost on the way: the APDU timer sends it again.
    }
}

void TransactionTable::startFinding(Poco::UInt32 deviceInstance, Device& aDevice)
{
    aDevice.findingAddress = true;
    aDevice.findRetriesLeft = _settings.apduRetries;
    aDevice.findDeadline = now() + _settings.apduTimeoutMs;
    askForAddress(deviceInstance);
}

void TransactionTable::askForAddress(Poco::UInt32 deviceInstance) const
{
    try
    {
        _findDevice(deviceInstance);
    }
    catch (const std::exception&)
    {
        // Lost like a datagram: the next try asks again.
    }
}

TransactionTable::Ended TransactionTable::remove(std::map<Poco::UInt32, Transaction>::iterator it)
{
    const Poco::UInt32 transactionId = it->first;
    const Transaction transaction = std::move(it->second);
    _transactions.erase(it);
    Device& aDevice = device(transaction.deviceInstance);
    Ended ended;
    ended.transactionId = transactionId;
    ended.deviceInstance = transaction.deviceInstance;
    if (transaction.state == WAITING)
    {
        aDevice.waiting.erase(std::find(aDevice.waiting.begin(), aDevice.waiting.end(), transactionId));
        return ended;
    }
    ended.invokeId = transaction.invokeId;
    ended.receivingSegments = transaction.state == RECEIVING_SEGMENTS;
    aDevice.invokeIdsInUse.reset(transaction.invokeId);
    _byInvokeId.erase(InvokeKey(transaction.deviceInstance, transaction.invokeId));
    if (transaction.link)
        --_links[*transaction.link].outstanding;
    sendWaiting(aDevice);
    if (transaction.link && transaction.link != aDevice.link)
        sendWaitingOnLink(*transaction.link);
    return ended;
}

void TransactionTable::expireFinding(Poco::Int64 time, std::vector<Ended>& timedOut)
{
    for (auto& entry : _devices)
    {
        Device& aDevice = entry.second;
        if (!aDevice.findingAddress || aDevice.findDeadline > time)
            continue;
        if (aDevice.findRetriesLeft > 0)
        {
            --aDevice.findRetriesLeft;
            aDevice.findDeadline = time + _settings.apduTimeoutMs;
            askForAddress(entry.first);
            continue;
        }
        aDevice.findingAddress = false;
        while (!aDevice.waiting.empty())
            timedOut.push_back(remove(_transactions.find(aDevice.waiting.front())));
    }
}

}  // namespace Orvik::BACnet
