#pragma once

#include <Poco/LocalDateTime.h>

#include <string>

/// Small conversions between host values, texts and the BACnet date and time
/// fields.
///
/// The date and time conversions fill plain field records so that this library
/// needs no BACnet types; the BACnet library adds overloads for its own Date and
/// Time types in this namespace.
namespace Orvik::Utility::ConvertIt
{

/// A BACnet date as fields: full year (for example 2026), month 1-12, day 1-31,
/// weekday 1 (Monday) to 7 (Sunday) as ASHRAE 135 counts.
struct DateFields
{
    unsigned year = 0;
    unsigned month = 0;
    unsigned day = 0;
    unsigned weekday = 0;
};

/// A BACnet time as fields: hour 0-23, minute, second, hundredths of a second.
struct TimeFields
{
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    unsigned hundredths = 0;
};

/// Sets `text` to the decimal text of `value` ("-42") and returns it.
std::string& setInt(int value, std::string& text);

/// The value 0-15 of one hexadecimal digit (either case); -1 for any other character.
int hexDigitValue(char c);

/// The date of `when` (a local time) as BACnet date fields.
void getBACnetDate(const Poco::LocalDateTime& when, DateFields& date);

/// The time of `when` (a local time) as BACnet time fields; the hundredths are
/// the milliseconds divided by 10, truncated.
void getBACnetTime(const Poco::LocalDateTime& when, TimeFields& time);

}  // namespace Orvik::Utility::ConvertIt
