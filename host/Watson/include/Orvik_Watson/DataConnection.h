#pragma once

#include "Orvik_Watson/Properties.h"

#include <string>

namespace Orvik::MQTT::Watson
{

/// The gateway's connection data: the platform properties plus the port (8883 selects
/// TLS, 1883 plain MQTT; see Watson_IOTP::BrokerAddress). The authentication method
/// starts as "token"; the port must be set before a client is made from the data.
class DataConnection : public Watson_IOTP::Properties
{
public:
    DataConnection();

    const std::string& getOrgId() const { return getorgId(); }
    const std::string& getDomain() const { return getdomain(); }
    const std::string& getDeviceType() const { return getdeviceType(); }
    const std::string& getDeviceId() const { return getdeviceId(); }
    const std::string& getAuthMethod() const { return getauthMethod(); }
    const std::string& getAuthToken() const { return getauthToken(); }
    const std::string& getTrustStore() const { return gettrustStore(); }
    int getPort() const { return _port; }

    void setOrgId(const std::string& value) { setorgId(value); }
    void setDomain(const std::string& value) { setdomain(value); }
    void setDeviceType(const std::string& value) { setdeviceType(value); }
    void setDeviceId(const std::string& value) { setdeviceId(value); }
    void setAuthMethod(const std::string& value) { setauthMethod(value); }
    void setAuthToken(const std::string& value) { setauthToken(value); }
    void setTrustStore(const std::string& value) { settrustStore(value); }
    void setPort(int port) { _port = port; }

private:
    int _port = 0;
};

}  // namespace Orvik::MQTT::Watson
