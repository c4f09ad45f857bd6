#pragma once

#include <cstdint>

#include "Orvik_BACnet/DataType/BACnetDateTime.h"

namespace Orvik::BACnet::DataType
{

/// BACnetTimeStamp: CHOICE of a time, a sequence number or a date and time. A default-constructed
/// time stamp is the sequence number 0.
class BACnetTimeStamp : public BACnetComplex
{
public:
    BACnetTimeStamp() = default;
    explicit BACnetTimeStamp(const Time& time);
    explicit BACnetTimeStamp(std::uint32_t sequenceNumber);
    explicit BACnetTimeStamp(const BACnetDateTime& dateTime);

    BACNET_TIMESTAMP_CHOICE getChoice() const { return _choice; }
    /// The chosen field; the others hold their defaults.
    const Time& getTime() const { return _dateTime.time; }
    std::uint32_t getSequenceNumber() const { return _sequenceNumber; }
    const BACnetDateTime& getDateTime() const { return _dateTime; }

    void markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const override;

    bool operator==(const BACnetTimeStamp& other) const;
    bool operator!=(const BACnetTimeStamp& other) const { return !(*this == other); }

private:
    BACNET_TIMESTAMP_CHOICE _choice = TIME_STAMP_SEQUENCE_NUMBER;
    std::uint32_t _sequenceNumber = 0;
    BACnetDateTime _dateTime;  // its time alone for the time choice
};

}  // namespace Orvik::BACnet::DataType
