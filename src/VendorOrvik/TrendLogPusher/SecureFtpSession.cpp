#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/SecureFtpSession.h"

#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SSLException.h>
#include <Poco/Net/SecureStreamSocket.h>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

namespace
{

bool isPositiveCompletionReply(int status)
{
    return status / 100 == 2;
}

}  // namespace

SecureFtpSession::SecureFtpSession(const Poco::Net::StreamSocket& socket, const std::string& host,
                                   const std::string& caFile)
    : SecureFtpSession(socket, host, caFile, clientContext(caFile))
{
}

SecureFtpSession::SecureFtpSession(const Poco::Net::StreamSocket& socket, const std::string& host,
                                   const std::string& caFile, Poco::Net::Context::Ptr pContext)
    : Poco::Net::FTPClientSession(startTls(socket, host, caFile, pContext), false),
      _serverHost(host),
      _pContext(pContext)
{
}

Poco::Net::Context::Ptr SecureFtpSession::clientContext(const std::string& caFile)
{
    Poco::Net::Context::Params params;
    params.caLocation = caFile;
    params.loadDefaultCAs = caFile.empty();
    // Strict: the relaxed mode would not check the name of a server on the local host.
    params.verificationMode = Poco::Net::Context::VERIFY_STRICT;
    params.cipherList = "HIGH:!aNULL:!eNULL:!MD5:!RC4";
    Poco::Net::Context::Ptr pContext = new Poco::Net::Context(Poco::Net::Context::TLS_CLIENT_USE, params);
    pContext->requireMinimumProtocol(Poco::Net::Context::PROTO_TLSV1_2);
    // The data connections resume the control connection's session.
    pContext->enableSessionCache(true);
    return pContext;
}

std::string SecureFtpSession::trustOf(const std::string& caFile)
{
    return caFile.empty() ? "the system's trust store" : "the CA file " + caFile;
}

Poco::Net::StreamSocket SecureFtpSession::startTls(const Poco::Net::StreamSocket& socket,
                                                   const std::string& host, const std::string& caFile,
                                                   Poco::Net::Context::Ptr pContext)
{
    Poco::Net::DialogSocket control(socket);
    std::string reply;
    control.sendMessage("AUTH TLS");
    const int status = control.receiveStatusMessage(reply);
    if (!isPositiveCompletionReply(status))
    {
        throw Poco::Net::FTPException("The server refused TLS (AUTH TLS)", reply, status);
    }
    try
    {
        return Poco::Net::SecureStreamSocket::attach(socket, host, pContext);
    }
    catch (const Poco::Net::CertificateValidationException& e)
    {
        throw Poco::Net::SSLException("TLS with " + host + " failed: its certificate does not name " + host,
                                      e.message());
    }
    catch (const Poco::Net::SSLException& e)
    {
        throw Poco::Net::SSLException(
            "TLS with " + host + " failed, certificate checked against " + trustOf(caFile), e.message());
    }
}

void SecureFtpSession::protectDataConnections()
{
    for (const char* command : {"PBSZ 0", "PROT P"})
    {
        std::string reply;
        const int status = sendCommand(command, reply);
        if (!isPositiveCompletionReply(status))
        {
            throw Poco::Net::FTPException(
                std::string("The server refused encrypted data connections (") + command + ")", reply,
                status);
        }
    }
}

Poco::Net::StreamSocket SecureFtpSession::establishDataConnection(const std::string& command,
                                                                  const std::string& arg)
{
    Poco::Net::StreamSocket data = Poco::Net::FTPClientSession::establishDataConnection(command, arg);
    // The handshake must not wait for a silent server for ever either.
    data.setReceiveTimeout(getTimeout());
    data.setSendTimeout(getTimeout());
    Poco::Net::SecureStreamSocket control(*_pControlSocket);
    return Poco::Net::SecureStreamSocket::attach(data, _serverHost, _pContext, control.currentSession());
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
