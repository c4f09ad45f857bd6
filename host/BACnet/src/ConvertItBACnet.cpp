#include "Orvik_BACnet/ConvertItBACnet.h"

namespace Orvik::Utility::ConvertIt
{

void getBACnetDate(const Poco::LocalDateTime& when, Orvik::BACnet::DataType::Date& date)
{
    DateFields fields;
    getBACnetDate(when, fields);
    date = Orvik::BACnet::DataType::Date(
        static_cast<std::uint16_t>(fields.year), static_cast<std::uint8_t>(fields.month),
        static_cast<std::uint8_t>(fields.day), static_cast<std::uint8_t>(fields.weekday));
}

void getBACnetTime(const Poco::LocalDateTime& when, Orvik::BACnet::DataType::Time& time)
{
    TimeFields fields;
    getBACnetTime(when, fields);
    time = Orvik::BACnet::DataType::Time(
        static_cast<std::uint8_t>(fields.hour), static_cast<std::uint8_t>(fields.minute),
        static_cast<std::uint8_t>(fields.second), static_cast<std::uint8_t>(fields.hundredths));
}

}  // namespace Orvik::Utility::ConvertIt
