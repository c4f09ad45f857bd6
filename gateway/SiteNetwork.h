#pragma once

#include <memory>
#include <string>

namespace Orvik::BACnet::Client
{
class Network;
}

namespace Orvik::Gateway
{

/// The gateway's BACnet network: for now the simulated site of a site file.
class SiteNetwork
{
public:
    /// Loads the site file. Throws Poco::FileNotFoundException when it does not exist and
    /// Poco::DataFormatException, naming the file, when it is not a valid site.
    static std::unique_ptr<Orvik::BACnet::Client::Network> load(const std::string& siteFile);
};

}  // namespace Orvik::Gateway
