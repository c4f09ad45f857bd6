#pragma once

#include <Poco/Timestamp.h>

#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"

namespace Orvik
{
namespace BACnet
{
namespace DataType
{
namespace Proprietary
{
namespace VendorOrvik
{

/// The upload position of one trend log: its device object reference and the time stamp (with
/// microseconds) of the last log record already uploaded. Time stamp 0 (the epoch): never uploaded.
class BACnetTrendLogLastUploaded : public BACnetDeviceObjectReference
{
public:
    /// No device, no object, time stamp 0.
    BACnetTrendLogLastUploaded() = default;
    explicit BACnetTrendLogLastUploaded(const BACnetDeviceObjectReference& reference,
                                        const Poco::Timestamp& timeStamp = Poco::Timestamp(0));

    const Poco::Timestamp& getTimeStamp() const { return _timeStamp; }
    void setTimeStamp(const Poco::Timestamp& timeStamp) { _timeStamp = timeStamp; }

    /// <Sequence name=...> with the reference's members and last-uploaded (ISO 8601 UTC time stamp).
    void markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const override;

    /// Equal when reference and time stamp are equal.
    bool operator==(const BACnetTrendLogLastUploaded& other) const;
    bool operator!=(const BACnetTrendLogLastUploaded& other) const { return !(*this == other); }

private:
    Poco::Timestamp _timeStamp{0};
};

}  // namespace VendorOrvik
}  // namespace Proprietary
}  // namespace DataType
}  // namespace BACnet
}  // namespace Orvik
