#include "SiteNetwork.h"

#include <Poco/Exception.h>

#include "Orvik_BACnetClient/Network.h"

namespace Orvik::Gateway
{

std::unique_ptr<Orvik::BACnet::Client::Network> SiteNetwork::load(const std::string& siteFile)
{
    throw Poco::NotImplementedException("simulated site " + siteFile);
}

}  // namespace Orvik::Gateway
