#pragma once

#include "Orvik_BACnet/LocalTimeConverter.h"
#include "Orvik_BACnetDevice/LogStore.h"
#include "TrendLogObject.h"

#include <memory>

namespace Orvik::BACnet::Device
{

/// A trend log of a program's own device whose records the program logs itself into a LogStore (the
/// gateway's recorder reads the logged property of another device): the standard trend log properties
/// of its settings, record-count and total-record-count from the store, the log buffer read from the
/// file a reply at a time. Enable is writable (BOOLEAN), trigger (BOOLEAN: TRUE asks the recorder for a
/// record now, whatever the logging type), and record-count to 0, which purges the buffer; any other
/// count gives property / value-out-of-range. Records are at most 28 octets on the wire (a
/// bit string of 64 bits), so a reply of 1476 octets holds 51 of them.
class RecordedTrendLog : public TrendLogObject
{
public:
    /// `log.instance` is the object's instance; the log must have been added to `pStore`.
    RecordedTrendLog(const std::string& name, const LogStore::Log& log, std::shared_ptr<LogStore> pStore);

    Codec::ServiceError write(const Codec::PropertyReference& ref, Poco::UInt32 priority,
                              const ValueContainer& value) override;
    Poco::UInt32 recordsPerReply(Poco::UInt32 maxApdu) const override;

protected:
    Codec::ServiceError readDynamic(BACNET_PROPERTY_ID property, const Poco::Timestamp& now,
                                    ValueContainer& out) const override;
    Poco::UInt64 firstHeld(const Poco::Timestamp& now) const override;
    Poco::UInt64 lastHeld(const Poco::Timestamp& now) const override;
    Poco::UInt64 firstAfter(const Poco::Timestamp& time) const override;
    Poco::UInt64 lastBefore(const Poco::Timestamp& time) const override;
    void appendRecords(Poco::UInt64 first, Poco::UInt64 last, ValueContainer& items) const override;

private:
    Poco::UInt32 instance() const { return getIdentifier().getInstance(); }

    const std::shared_ptr<LogStore> _pStore;
    /// The records' local times, page after page (used under the site's lock, as every read is).
    mutable LocalTimeConverter _localTime;
};

}  // namespace Orvik::BACnet::Device
