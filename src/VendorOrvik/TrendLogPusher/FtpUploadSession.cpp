#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/FtpUploadSession.h"

#include <Poco/Exception.h>
#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SecureStreamSocketImpl.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/SocketStream.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/Net/StreamSocketImpl.h>

#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/SecureFtpSession.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

namespace
{

const std::string SECURE_SCHEME = "ftps";

Poco::Timespan milliseconds(long ms)
{
    return Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(ms) * 1000);
}

/// Ends a TLS data connection in order: close_notify, then the server's own close is awaited (within
/// the connection's receive time-out). Closed at once, the connection would be reset while data the
/// server sent (TLS session tickets) lies unread, and the reset may discard the document's end before
/// the server has read it, after which the server still confirms the shortened file.
void finishSecureSending(std::ostream& os)
{
    auto* pBuffer = dynamic_cast<Poco::Net::SocketStreamBuf*>(os.rdbuf());
    auto* pSecure = pBuffer != nullptr
                        ? dynamic_cast<Poco::Net::SecureStreamSocketImpl*>(pBuffer->socketImpl())
                        : nullptr;
    if (pSecure == nullptr)
    {
        return;
    }
    try
    {
        pSecure->shutdown();
        char rest[512];
        while (pSecure->receiveBytes(rest, sizeof rest) > 0)
        {
        }
    }
    catch (const Poco::Exception&)
    {
        // The server closed first or did not answer the close: the completion reply decides.
    }
}

/// Reads the server's greeting on the control connection; throws when the server refuses the session.
/// Poco's session could read it in its constructor, but would then leak the connection on a refusal.
void readGreeting(const Poco::Net::StreamSocket& socket, const Poco::Timespan& timeout)
{
    Poco::Net::DialogSocket dialog(socket);
    dialog.setReceiveTimeout(timeout);
    std::string greeting;
    const int status = dialog.receiveStatusMessage(greeting);
    if (status / 100 != 2)  // not a positive completion reply
    {
        throw Poco::Net::FTPException("Cannot receive status message", greeting, status);
    }
}

}  // namespace

FtpUploadSession::FtpUploadSession(const Poco::URI& server, const DataFtpServer& ftp,
                                   const DataPusherTimings& timings, const std::string& caFile)
{
    // Explicit FTPS starts in clear text on the FTP port too.
    const Poco::UInt16 port = server.getSpecifiedPort() != 0
                                  ? server.getSpecifiedPort()
                                  : static_cast<Poco::UInt16>(Poco::Net::FTPClientSession::FTP_PORT);
    // Poco's session reads the server's greeting only inside login(); read here first, a session
    // without login stays in step with the server's replies.
    const Poco::Timespan connectTimeout = milliseconds(timings.ftpConnectTimeoutMs);
    Poco::Net::StreamSocket socket;
    socket.connect(Poco::Net::SocketAddress(server.getHost(), port), connectTimeout);
    readGreeting(socket, connectTimeout);
    const bool secure = server.getScheme() == SECURE_SCHEME;
    if (secure)
    {
        _pSession = std::make_unique<SecureFtpSession>(socket, server.getHost(), caFile);
    }
    else
    {
        _pSession = std::make_unique<Poco::Net::FTPClientSession>(socket, false);
    }
    _pSession->setTimeout(milliseconds(timings.ftpSessionTimeoutMs));
    if (!ftp.userId.empty())
    {
        _pSession->login(ftp.userId, ftp.password);
    }
    if (secure)
    {
        static_cast<SecureFtpSession&>(*_pSession).protectDataConnections();
    }
    if (!ftp.directory.empty())
    {
        _pSession->setWorkingDirectory(ftp.directory);
    }
    _pSession->setFileType(Poco::Net::FTPClientSession::TYPE_TEXT);
}

FtpUploadSession::~FtpUploadSession() = default;

std::ostream& FtpUploadSession::beginUpload(const std::string& name)
{
    _pUpload = &_pSession->beginUpload(name);
    // Poco gives the data connection no time-out: a server that stops reading would block the app,
    // and its stop request with it, for good. Set on the buffer's own socket: the StreamSocket that
    // SocketIOS::socket() returns would release it under the stream.
    if (auto* pDataConnection = dynamic_cast<Poco::Net::SocketStreamBuf*>(_pUpload->rdbuf()))
    {
        pDataConnection->socketImpl()->setSendTimeout(_pSession->getTimeout());
    }
    return *_pUpload;
}

void FtpUploadSession::endUpload()
{
    finishSecureSending(*_pUpload);
    _pSession->endUpload();
}

void FtpUploadSession::throwIfTransferBroke()
{
    // Poco's data stream keeps no reason; the server's reply is read (and dropped) by discard().
}

void FtpUploadSession::rename(const std::string& from, const std::string& to)
{
    _pSession->rename(from, to);
}

void FtpUploadSession::discard(const std::string& name) noexcept
{
    // The data connection is closed without ABOR: Poco's abort() leaves the session waiting at close()
    // for a transfer reply that servers do not send after ABOR, and some servers refuse ABOR in this
    // state. Under its temporary name the file is never taken for a whole document anyway.
    try
    {
        _pSession->endUpload();
    }
    catch (const std::exception&)
    {
        // The server reports the broken transfer; that is expected here.
    }
    try
    {
        _pSession->remove(name);
    }
    catch (const std::exception&)
    {
        // The connection is gone or the server kept no file: nothing more to do.
    }
}

void FtpUploadSession::close()
{
    _pSession->close();
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
