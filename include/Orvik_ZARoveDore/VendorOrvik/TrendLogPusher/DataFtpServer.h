#pragma once

#include <string>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// The trend log pusher's upload target.
class DataFtpServer
{
public:
    std::string serverURL;  ///< a URI, or a host (with optional port) taken as "ftp://" + it
    std::string userId;     ///< empty: no login
    std::string password;
    std::string directory;  ///< empty: the login directory
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
