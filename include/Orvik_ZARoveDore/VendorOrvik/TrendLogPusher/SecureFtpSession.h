#pragma once

#include <Poco/Net/Context.h>
#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/StreamSocket.h>

#include <string>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// An FTP session over explicit TLS: on a control connection whose greeting was read, AUTH TLS, the
/// TLS handshake and the check of the server's certificate, before anything else is sent (the login
/// included). After protectDataConnections() every data connection is encrypted as well, checked
/// against the same host name and resuming the control connection's TLS session where the server
/// allows (some servers require that).
///
/// The certificate must chain to a certificate of `caFile` (PEM), or, when `caFile` is empty, to the
/// system's trust store, and must name `host`. Nothing falls back to clear text: a server that refuses
/// AUTH TLS, PBSZ or PROT P ends the session with an exception.
class SecureFtpSession : public Poco::Net::FTPClientSession
{
public:
    /// Secures the control connection `socket` (connected, greeting read). Throws
    /// Poco::Net::FTPException when the server refuses AUTH TLS and Poco::Net::SSLException, naming the
    /// host and the trust that was used, when the handshake or the certificate check fails.
    SecureFtpSession(const Poco::Net::StreamSocket& socket, const std::string& host,
                     const std::string& caFile);

    /// PBSZ 0 and PROT P: the data connections from now on are encrypted. Throws
    /// Poco::Net::FTPException when the server refuses either.
    void protectDataConnections();

protected:
    /// The data connection of `command`, secured like the control connection.
    Poco::Net::StreamSocket establishDataConnection(const std::string& command,
                                                    const std::string& arg) override;

private:
    SecureFtpSession(const Poco::Net::StreamSocket& socket, const std::string& host,
                     const std::string& caFile, Poco::Net::Context::Ptr pContext);

    static Poco::Net::Context::Ptr clientContext(const std::string& caFile);
    static Poco::Net::StreamSocket startTls(const Poco::Net::StreamSocket& socket, const std::string& host,
                                            const std::string& caFile, Poco::Net::Context::Ptr pContext);
    static std::string trustOf(const std::string& caFile);

    std::string _serverHost;
    Poco::Net::Context::Ptr _pContext;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
