#pragma once

#include <Poco/LocalDateTime.h>

#include "Orvik_BACnet/DataType/Date.h"
#include "Orvik_BACnet/DataType/Time.h"
#include "Orvik_Utility/ConvertIt.h"

/// Overloads of the host's date and time conversions for the BACnet Date and Time types.
namespace Orvik::Utility::ConvertIt
{

/// The date of `when` (a local time) with its weekday (1 Monday .. 7 Sunday).
void getBACnetDate(const Poco::LocalDateTime& when, Orvik::BACnet::DataType::Date& date);

/// The time of `when` (a local time); hundredths are the milliseconds divided by 10, truncated.
void getBACnetTime(const Poco::LocalDateTime& when, Orvik::BACnet::DataType::Time& time);

}  // namespace Orvik::Utility::ConvertIt
