#pragma once

#include <Poco/Types.h>

#include <string>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// The numbers (ap_app_property.id) and names of the trend log pusher's parameters, as the
/// configuration tools list them; the pusher's console messages name a parameter this way.
class PusherParameterNames
{
public:
    enum Number : Poco::Int32
    {
        _PARENT_IDENTIFIER = 1,
        _FILE_NAME_INITIALS = 4,
        _MARKUP_LANGUAGE = 6,
        _PERIOD = 8,
        _OFFSET = 9,
        _RETRY_COUNT = 10,
        _RETRY_WAIT = 11,
        _FTP_SERVER = 13,
        _FTP_USER = 14,
        _FTP_PASSWORD = 15,
        _FTP_DIRECTORY = 16,
        _TREND_LOGS_FROM = 17,
        _SEARCH_INTERVAL = 18
    };

    /// "parameter <number> (<name>)", for the numbers 1 to 18.
    static std::string describe(Poco::Int32 number);
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
