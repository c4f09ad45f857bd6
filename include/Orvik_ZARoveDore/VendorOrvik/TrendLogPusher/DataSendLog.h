#pragma once

#include <Poco/Types.h>

#include <string>

#include "Orvik_BACnet/WS/MarkupFactory.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// The trend log pusher's document header values, its markup choice and its upload schedule.
class DataSendLog
{
public:
    Poco::UInt32 parentIdentifier = 0;
    std::string siteIdentifier;
    std::string siteName;
    std::string fileNameInitials;
    std::string serverUserId;
    WS::MarkupFactory::MarkupLanguage markupLanguage = WS::MarkupFactory::XML;
    bool textExtendEnumsAndBitStrings = false;
    bool format = false;
    Poco::UInt32 periodicityMinutes = 1;  ///< at least 1
    Poco::UInt32 retryWhenFailureMinutes = 0;
    Poco::UInt32 retryWhenFailureCnt = 0;
    Poco::UInt32 secondsOffset = 0;  ///< below periodicityMinutes * 60
    Poco::UInt32 pushMethod = 0;     ///< read and kept; nothing depends on it
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
