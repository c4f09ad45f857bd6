#include "TrendLogPusherSiteRecords.h"

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"

using Orvik::BACnet::ValueContainer;
using Orvik::BACnet::Client::DataObjectKey;
using Orvik::BACnet::Client::DataPropertyKey;
using Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference;
using Orvik::BACnet::DataType::ObjectIdentifier;

TrendLogPusherSiteRecords::TrendLogPusherSiteRecords(
    const Orvik::BACnet::Client::Simulation::SimulatedSite& site)
    : _site(site)
{
    for (Poco::UInt32 device : site.getDeviceInstances())
    {
        const ObjectIdentifier deviceIdentifier(Orvik::BACnet::OBJECT_DEVICE, device);
        ValueContainer objects;
        site.readProperty(
            DataPropertyKey(DataObjectKey(device, deviceIdentifier), Orvik::BACnet::PROP_OBJECT_LIST),
            objects);
        for (const auto& element : objects.getBACnetPrimitives())
        {
            const ObjectIdentifier& object = element.get<ObjectIdentifier>();
            if (object.getObjectType() != Orvik::BACnet::OBJECT_TRENDLOG &&
                object.getObjectType() != Orvik::BACnet::OBJECT_TREND_LOG_MULTIPLE)
                continue;
            const DataObjectKey key(device, object);
            ValueContainer logged;
            site.readProperty(DataPropertyKey(key, Orvik::BACnet::PROP_LOG_DEVICE_OBJECT_PROPERTY), logged);
            std::string identifiers;
            for (const auto& channel : logged.getBACnetPrimitives())
            {
                std::string identifier;
                channel.get<BACnetDeviceObjectPropertyReference>().getHexIdentifier(deviceIdentifier,
                                                                                    identifier);
                identifiers += (identifiers.empty() ? "" : "+") + identifier;
            }
            _trendLogs.push_back(TrendLog{key, identifiers});
        }
    }
}

std::vector<std::string> TrendLogPusherSiteRecords::records(const TrendLog& trendLog,
                                                            Poco::UInt64 sequenceNumber) const
{
    std::vector<std::string> texts;
    for (const auto& record : _site.getLogRecords(trendLog.key, sequenceNumber))
        texts.push_back(TrendLogPusherDocument::canonicalRecord(record, false));
    return texts;
}

Poco::UInt64 TrendLogPusherSiteRecords::compare(const TrendLog& trendLog,
                                                const TrendLogPusherDocument& document,
                                                const std::vector<std::string>& records, Poco::UInt64 first,
                                                std::string& mismatch) const
{
    mismatch.clear();
    Poco::UInt64 sequenceNumber = first;
    for (std::size_t index = 0; index < records.size(); ++sequenceNumber)
    {
        if (sequenceNumber > _site.getLastSequenceNumber(trendLog.key))
        {
            mismatch = "record " + std::to_string(index) + " is not in the site";
            return sequenceNumber;
        }
        for (const auto& record : _site.getLogRecords(trendLog.key, sequenceNumber))
        {
            const std::string expected = document.canonicalRecord(record);
            if (index >= records.size() || records[index] != expected)
            {
                mismatch = "sequence number " + std::to_string(sequenceNumber) +
                           " differs: " + (index < records.size() ? records[index] : "missing") + " / " +
                           expected;
                return sequenceNumber;
            }
            ++index;
        }
    }
    return sequenceNumber;
}
