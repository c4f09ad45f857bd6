#pragma once

#include <string>

namespace Watson_IOTP
{

/// The identity and credentials with which a client appears on the IoT platform.
///
/// All fields start empty except the domain, which starts as the platform's public
/// domain suffix (`DEFAULT_DOMAIN`). The trust store is the path of a PEM file with the
/// certificate authorities that may sign the broker's certificate; when it is empty, a
/// TLS connection trusts the system's default certificate store (OpenSSL's default
/// paths, which honour the environment variables SSL_CERT_FILE and SSL_CERT_DIR).
class Properties
{
public:
    static const std::string DEFAULT_DOMAIN;

    Properties();
    virtual ~Properties() = default;

    const std::string& getorgId() const { return _orgId; }
    const std::string& getdomain() const { return _domain; }
    const std::string& getdeviceType() const { return _deviceType; }
    const std::string& getdeviceId() const { return _deviceId; }
    const std::string& getauthMethod() const { return _authMethod; }
    const std::string& getauthToken() const { return _authToken; }
    const std::string& gettrustStore() const { return _trustStore; }

    void setorgId(const std::string& value) { _orgId = value; }
    void setdomain(const std::string& value) { _domain = value; }
    void setdeviceType(const std::string& value) { _deviceType = value; }
    void setdeviceId(const std::string& value) { _deviceId = value; }
    void setauthMethod(const std::string& value) { _authMethod = value; }
    void setauthToken(const std::string& value) { _authToken = value; }
    void settrustStore(const std::string& value) { _trustStore = value; }

private:
    std::string _orgId;
    std::string _domain;
    std::string _deviceType;
    std::string _deviceId;
    std::string _authMethod;
    std::string _authToken;
    std::string _trustStore;
};

}  // namespace Watson_IOTP
