#include "Orvik_BACnetDevice/Site.h"

#include "SimulatedDevice.h"
#include "SimulatedPoint.h"
#include "SimulatedTrendLog.h"
#include "SiteFileReader.h"

#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>

namespace Orvik::BACnet::Device
{

Site::Site() = default;

Site::~Site() = default;

std::unique_ptr<Site> Site::load(const std::string& path)
{
    return SiteFileReader::readFile(path);
}

std::unique_ptr<Site> Site::loadOwnDevice(const std::string& path, Poco::UInt32 deviceInstance,
                                          std::shared_ptr<LogStore> pStore)
{
    return SiteFileReader::readFile(path, deviceInstance, std::move(pStore));
}

void Site::removeDevice(Poco::UInt32 deviceInstance)
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_devices.erase(deviceInstance) == 0)
        throw Poco::NotFoundException("No device " + Poco::NumberFormatter::format(deviceInstance) +
                                      " in the site");
}

std::unique_ptr<Site> Site::parse(const std::string& text, const std::string& origin)
{
    return SiteFileReader::readText(text, origin);
}

void Site::setFrameDelayMs(Poco::UInt16 network, Poco::UInt32 frameDelayMs)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _frameDelaysMs[network] = frameDelayMs;
}

Poco::UInt32 Site::getFrameDelayMs(Poco::UInt16 network) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    const auto it = _frameDelaysMs.find(network);
    return it == _frameDelaysMs.end() ? 0 : it->second;
}

void Site::addDevice(std::unique_ptr<SimulatedDevice> pDevice)
{
    std::lock_guard<std::mutex> lock(_mutex);
    const Poco::UInt32 instance = pDevice->getInstance();
    if (_devices.count(instance) > 0)
        throw Poco::ExistsException("Device " + Poco::NumberFormatter::format(instance) +
                                    " twice in the site");
    _devices[instance] = std::move(pDevice);
}

std::vector<Poco::UInt32> Site::getDeviceInstances() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    std::vector<Poco::UInt32> instances;
    for (const auto& entry : _devices)
        instances.push_back(entry.first);
    return instances;
}

std::optional<Site::Presence> Site::presenceOf(Poco::UInt32 deviceInstance) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    const SimulatedDevice* pDevice = findDevice(deviceInstance);
    if (pDevice == nullptr)
        return std::nullopt;
    return describe(*pDevice);
}

std::vector<Site::Presence> Site::whoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                                        Poco::UInt32 highLimit) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    std::vector<Presence> answering;
    for (const auto& entry : _devices)
    {
        if (entry.second->answersWhoIs(destination, lowLimit, highLimit))
            answering.push_back(describe(*entry.second));
    }
    return answering;
}

std::optional<Codec::WhoHas::IHave> Site::whoHas(Poco::UInt32 deviceInstance,
                                                 const Codec::WhoHas& whoHas) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    const SimulatedDevice* pDevice = findDevice(deviceInstance);
    if (pDevice == nullptr || pDevice->isSilent() || !whoHas.covers(deviceInstance))
        return std::nullopt;
    const SimulatedObject* pObject = whoHas.byName ? pDevice->findObjectNamed(whoHas.objectName)
                                                   : pDevice->findObject(whoHas.objectIdentifier);
    if (pObject == nullptr)
        return std::nullopt;
    Codec::WhoHas::IHave iHave;
    iHave.deviceIdentifier = DataType::ObjectIdentifier(OBJECT_DEVICE, deviceInstance);
    iHave.objectIdentifier = pObject->getIdentifier();
    iHave.objectName = pObject->getName();
    return iHave;
}

Site::Served Site::serve(Poco::UInt32 deviceInstance, const ServiceRequest& request,
                         const DataType::BACnetAddress& requester, const Poco::Timestamp& now)
{
    std::lock_guard<std::mutex> lock(_mutex);
    Served served;
    SimulatedDevice* pDevice = findDevice(deviceInstance);
    if (pDevice == nullptr)
        return served;  // no such device on the network: nobody answers
    pDevice->receive();
    if (pDevice->isSilent())
        return served;
    served.reply = pDevice->serve(request, requester, now);
    served.notifications = pDevice->advance(now);
    return served;
}

std::vector<COVDelivery> Site::advance(const Poco::Timestamp& now)
{
    std::lock_guard<std::mutex> lock(_mutex);
    std::vector<COVDelivery> notifications;
    for (const auto& entry : _devices)
    {
        std::vector<COVDelivery> due = entry.second->advance(now);
        if (!entry.second->isSilent())
            notifications.insert(notifications.end(), due.begin(), due.end());
    }
    return notifications;
}

// ---- tests and tools ----------------------------------------------------------------------------------

Codec::ServiceError Site::readProperty(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& object,
                                       const Codec::PropertyReference& property, ValueContainer& value) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    const SimulatedObject* pObject = device(deviceInstance).findObject(object);
    if (pObject == nullptr)
        return Codec::ServiceError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT);
    return pObject->read(property, Poco::Timestamp(), value);
}

Codec::ServiceError Site::changeValue(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& object,
                                      const ValueContainer& value, std::vector<COVDelivery>& notifications)
{
    std::lock_guard<std::mutex> lock(_mutex);
    SimulatedDevice& changed = device(deviceInstance);
    auto* pPoint = dynamic_cast<SimulatedPoint*>(changed.findObject(object));
    if (pPoint == nullptr)
        return Codec::ServiceError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT);
    const Codec::ServiceError error = pPoint->changeValue(value);
    notifications = changed.advance(Poco::Timestamp());
    if (changed.isSilent())
        notifications.clear();
    return error;
}

Poco::UInt64 Site::getFirstSequenceNumber(Poco::UInt32 deviceInstance,
                                          const DataType::ObjectIdentifier& trendLogId) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return trendLog(deviceInstance, trendLogId).getSeries().firstHeld(Poco::Timestamp());
}

Poco::UInt64 Site::getLastSequenceNumber(Poco::UInt32 deviceInstance,
                                         const DataType::ObjectIdentifier& trendLogId) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return trendLog(deviceInstance, trendLogId).getSeries().lastHeld(Poco::Timestamp());
}

std::vector<DataType::BACnetLogRecord> Site::getLogRecords(Poco::UInt32 deviceInstance,
                                                           const DataType::ObjectIdentifier& trendLogId,
                                                           Poco::UInt64 sequenceNumber) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return trendLog(deviceInstance, trendLogId).records(sequenceNumber);
}

void Site::setClockStep(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& trendLogId,
                        Poco::UInt64 sequenceNumber, const Poco::Timespan& step)
{
    std::lock_guard<std::mutex> lock(_mutex);
    trendLog(deviceInstance, trendLogId).setClockStep(sequenceNumber, step);
}

void Site::setSilent(Poco::UInt32 deviceInstance, bool silent)
{
    std::lock_guard<std::mutex> lock(_mutex);
    device(deviceInstance).setSilent(silent);
}

void Site::setDelay(Poco::UInt32 deviceInstance, Poco::UInt32 delayMs)
{
    std::lock_guard<std::mutex> lock(_mutex);
    device(deviceInstance).setDelayMs(delayMs);
}

void Site::addFault(Poco::UInt32 deviceInstance, const SimulatedFault& fault)
{
    std::lock_guard<std::mutex> lock(_mutex);
    device(deviceInstance).addFault(fault);
}

void Site::clearFaults(Poco::UInt32 deviceInstance)
{
    std::lock_guard<std::mutex> lock(_mutex);
    device(deviceInstance).clearFaults();
}

Poco::UInt32 Site::getRequestCount(Poco::UInt32 deviceInstance) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return device(deviceInstance).getRequestCount();
}

std::size_t Site::countSubscriptions(Poco::UInt32 deviceInstance,
                                     const DataType::ObjectIdentifier& object) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return device(deviceInstance).countSubscriptions(object);
}

SimulatedDevice& Site::device(Poco::UInt32 deviceInstance) const
{
    SimulatedDevice* pDevice = findDevice(deviceInstance);
    if (pDevice == nullptr)
        throw Poco::NotFoundException("No device " + Poco::NumberFormatter::format(deviceInstance) +
                                      " in the site");
    return *pDevice;
}

SimulatedDevice* Site::findDevice(Poco::UInt32 deviceInstance) const
{
    auto it = _devices.find(deviceInstance);
    return it == _devices.end() ? nullptr : it->second.get();
}

SimulatedTrendLog& Site::trendLog(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& object) const
{
    auto* pTrendLog = dynamic_cast<SimulatedTrendLog*>(device(deviceInstance).findObject(object));
    if (pTrendLog == nullptr)
        throw Poco::NotFoundException("No trend log " + object.toString() + " in device " +
                                      Poco::NumberFormatter::format(deviceInstance));
    return *pTrendLog;
}

Site::Presence Site::describe(const SimulatedDevice& device)
{
    Presence presence;
    presence.iAm = device.iAm();
    presence.address = device.getIdentity().address;
    presence.bind = device.getIdentity().bind;
    presence.delayMs = device.getDelayMs();
    presence.silent = device.isSilent();
    presence.dropRate = device.getIdentity().dropRate;
    presence.seed = device.getIdentity().seed;
    return presence;
}

}  // namespace Orvik::BACnet::Device
