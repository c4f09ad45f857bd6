#pragma once

#include <Poco/Timestamp.h>

#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"

namespace Orvik::BACnet::DataType::Proprietary::VendorOrvik
{

/// The upload position of one trend log: its device object reference, and the time stamp (with
/// microseconds) and the sequence number of the last log record already uploaded.
///
/// The sequence number identifies the record whatever the clocks did (a daylight-saving hour that
/// repeats, a device clock set back); the time stamp is the way back in when the log no longer holds
/// that record. Sequence number 0: not known (a position stored before sequence numbers were kept, or a
/// device that sends none; devices number records from 1). Time stamp 0 and sequence number 0 together:
/// never uploaded.
class BACnetTrendLogLastUploaded : public BACnetDeviceObjectReference
{
public:
    /// No device, no object, never uploaded.
    BACnetTrendLogLastUploaded() = default;
    explicit BACnetTrendLogLastUploaded(const BACnetDeviceObjectReference& reference,
                                        const Poco::Timestamp& timeStamp = Poco::Timestamp(0),
                                        Poco::UInt32 sequenceNumber = 0);

    const Poco::Timestamp& getTimeStamp() const { return _timeStamp; }
    Poco::UInt32 getSequenceNumber() const { return _sequenceNumber; }
    /// The record last uploaded; (0, 0): never uploaded.
    void setLastUploaded(const Poco::Timestamp& timeStamp, Poco::UInt32 sequenceNumber);
    bool isNeverUploaded() const { return _timeStamp == Poco::Timestamp(0) && _sequenceNumber == 0; }

    /// <Sequence name=...> with the reference's members, last-uploaded (ISO 8601 UTC time stamp) and,
    /// when known, last-sequence-number.
    void markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const override;

    /// Equal when reference, time stamp and sequence number are equal.
    bool operator==(const BACnetTrendLogLastUploaded& other) const;
    bool operator!=(const BACnetTrendLogLastUploaded& other) const { return !(*this == other); }

private:
    Poco::Timestamp _timeStamp{0};
    Poco::UInt32 _sequenceNumber = 0;
};

}  // namespace Orvik::BACnet::DataType::Proprietary::VendorOrvik
