#include "Orvik_Watson/BrokerAddress.h"

#include <Poco/Exception.h>
#include <Poco/Net/IPAddress.h>
#include <Poco/NumberParser.h>

#include <algorithm>

namespace Watson_IOTP
{

BrokerAddress::BrokerAddress(const Properties& properties, int port)
    : _port(checkedPort(port)), _secure(port == SECURE_PORT)
{
    const std::string& domain = properties.getdomain();
    const std::string::size_type colon = domain.rfind(':');
    const std::string hostPart = domain.substr(0, colon);
    if (isLocalHost(hostPart))
    {
        _host = hostPart;
        if (colon != std::string::npos)
        {
            unsigned localPort = 0;
            if (!Poco::NumberParser::tryParseUnsigned(domain.substr(colon + 1), localPort) ||
                localPort > 65535)
            {
                throw Poco::InvalidArgumentException("Invalid broker port in domain", domain);
            }
            _port = checkedPort(static_cast<int>(localPort));
        }
    }
    else
    {
        _host = properties.getorgId() + ".messaging." + domain;
    }
}

std::string BrokerAddress::uri() const
{
    return (_secure ? "ssl://" : "tcp://") + _host + ":" + std::to_string(_port);
}

bool BrokerAddress::isLocalHost(const std::string& host)
{
    // Only the dotted quad counts: the resolver would also take "10.1" as an address.
    Poco::Net::IPAddress address;
    return host == "localhost" ||
           (std::count(host.begin(), host.end(), '.') == 3 && Poco::Net::IPAddress::tryParse(host, address) &&
            address.family() == Poco::Net::IPAddress::IPv4);
}

int BrokerAddress::checkedPort(int port)
{
    if (port < 1 || port > 65535)
    {
        throw Poco::InvalidArgumentException("Invalid broker port", std::to_string(port));
    }
    return port;
}

}  // namespace Watson_IOTP
