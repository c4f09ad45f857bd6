#include "Orvik_BACnet/DataType/BACnetDateTime.h"
#include "MarkupMembers.h"

#include <Poco/DateTime.h>
#include <Poco/Exception.h>

namespace Orvik::BACnet::DataType
{

BACnetDateTime::BACnetDateTime(const Poco::Timestamp& timestamp)
    : BACnetDateTime(Poco::LocalDateTime(Poco::DateTime(timestamp)))
{
}

BACnetDateTime::BACnetDateTime(const Poco::LocalDateTime& localDateTime)
    : date(static_cast<std::uint16_t>(localDateTime.year()), static_cast<std::uint8_t>(localDateTime.month()),
           static_cast<std::uint8_t>(localDateTime.day()),
           Date::weekdayOf(static_cast<std::uint16_t>(localDateTime.year()),
                           static_cast<std::uint8_t>(localDateTime.month()),
                           static_cast<std::uint8_t>(localDateTime.day()))),
      time(static_cast<std::uint8_t>(localDateTime.hour()), static_cast<std::uint8_t>(localDateTime.minute()),
           static_cast<std::uint8_t>(localDateTime.second()),
           static_cast<std::uint8_t>(localDateTime.millisecond() / 10))
{
}

bool BACnetDateTime::isSpecified() const
{
    return date.year != 0 && date.year != Date::_YEAR_UNSPECIFIED &&
           Poco::DateTime::isValid(date.year, date.month, date.day, time.hour, time.min, time.sec,
                                   time.hundredths * 10) &&
           time.hundredths < 100;
}

Poco::Timestamp BACnetDateTime::toTimestamp() const
{
    if (!isSpecified())
    {
        throw Poco::InvalidArgumentException("BACnet date and time not specified");
    }
    const Poco::LocalDateTime local(date.year, date.month, date.day, time.hour, time.min, time.sec,
                                    time.hundredths * 10, 0);
    return local.utc().timestamp();
}

void BACnetDateTime::markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const
{
    MarkupMembers::writeValue(mf, name, BACnetValue(*this), startArray, BACNET_DT_NULL);
}

}  // namespace Orvik::BACnet::DataType
