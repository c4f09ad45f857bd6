#include "Orvik_Utility/ConvertIt.h"

#include <Poco/NumberFormatter.h>

namespace Orvik::Utility::ConvertIt
{

std::string& setInt(int value, std::string& text)
{
    text = Poco::NumberFormatter::format(value);
    return text;
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
    {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f')
    {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F')
    {
        return c - 'A' + 10;
    }
    return -1;
}

void getBACnetDate(const Poco::LocalDateTime& when, DateFields& date)
{
    date.year = static_cast<unsigned>(when.year());
    date.month = static_cast<unsigned>(when.month());
    date.day = static_cast<unsigned>(when.day());
    // Poco counts the week from Sunday 0; BACnet from Monday 1 to Sunday 7.
    date.weekday = when.dayOfWeek() == 0 ? 7u : static_cast<unsigned>(when.dayOfWeek());
}

void getBACnetTime(const Poco::LocalDateTime& when, TimeFields& time)
{
    time.hour = static_cast<unsigned>(when.hour());
    time.minute = static_cast<unsigned>(when.minute());
    time.second = static_cast<unsigned>(when.second());
    time.hundredths = static_cast<unsigned>(when.millisecond() / 10);
}

}  // namespace Orvik::Utility::ConvertIt
