#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DocumentUpload.h"

#include <Poco/DateTimeFormatter.h>
#include <Poco/Exception.h>
#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SecureStreamSocketImpl.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/SocketStream.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/Net/StreamSocketImpl.h>

#include <memory>
#include <mutex>

#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PusherParameterNames.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/SecureFtpSession.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

namespace
{

/// Closes the data connection of an upload that is not to be kept and removes its file, as far as
/// the session still allows. The connection is closed without ABOR: Poco's abort() leaves the session
/// waiting at close() for a transfer reply that servers do not send after ABOR, and some servers refuse
/// ABOR in this state. Under its temporary name the file is never taken for a whole document anyway.
void discardUpload(Poco::Net::FTPClientSession& session, const std::string& partName)
{
    try
    {
        session.endUpload();
    }
    catch (const Poco::Exception&)
    {
        // The server reports the broken transfer; that is expected here.
    }
    try
    {
        session.remove(partName);
    }
    catch (const Poco::Exception&)
    {
        // The connection is gone or the server kept no file: nothing more to do.
    }
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

const std::string DocumentUpload::_PART_SUFFIX = ".part";
const std::string DocumentUpload::_SECURE_SCHEME = "ftps";

namespace
{
std::mutex trustMutex;
std::string trustedCaFile;
}  // namespace

void DocumentUpload::setTrustedCertificates(const std::string& caFile)
{
    const std::lock_guard<std::mutex> lock(trustMutex);
    trustedCaFile = caFile;
}

std::string DocumentUpload::trustedCertificates()
{
    const std::lock_guard<std::mutex> lock(trustMutex);
    return trustedCaFile;
}

DocumentUpload::DocumentUpload(const DataFtpServer& ftp, const std::string& fileNameInitials,
                               const DataPusherTimings& timings)
    : _ftp(ftp), _fileNameInitials(fileNameInitials), _timings(timings)
{
}

std::string DocumentUpload::getFileName(const Poco::Timestamp& now) const
{
    std::string name = "tl_" + _fileNameInitials + "_";
    Poco::DateTimeFormatter::append(name, now, "%y%m%d_%H%M%S%i", Poco::DateTimeFormatter::UTC);
    return name + ".xml";
}

Poco::URI DocumentUpload::checkUploadTarget() const
{
    const std::pair<Poco::Int32, const std::string*> texts[] = {
        {PusherParameterNames::_FILE_NAME_INITIALS, &_fileNameInitials},
        {PusherParameterNames::_FTP_USER, &_ftp.userId},
        {PusherParameterNames::_FTP_PASSWORD, &_ftp.password},
        {PusherParameterNames::_FTP_DIRECTORY, &_ftp.directory},
        {PusherParameterNames::_FTP_SERVER, &_ftp.serverURL}};
    for (const auto& [number, pText] : texts)
    {
        const std::string problem = problemWith(number, *pText);
        if (!problem.empty())
        {
            throw Poco::InvalidArgumentException(PusherParameterNames::describe(number) + " " + problem);
        }
    }
    return serverAddress(_ftp.serverURL);
}

std::string DocumentUpload::problemWith(Poco::Int32 number, const std::string& text)
{
    const bool sentInCommand =
        number == PusherParameterNames::_FILE_NAME_INITIALS || number == PusherParameterNames::_FTP_USER ||
        number == PusherParameterNames::_FTP_PASSWORD || number == PusherParameterNames::_FTP_DIRECTORY ||
        number == PusherParameterNames::_FTP_SERVER;
    // CR and LF would start a command of their own on the server, NUL cuts the command short.
    if (sentInCommand && text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    {
        return "contains CR, LF or NUL, which would end the FTP command it is sent in";
    }
    if (number == PusherParameterNames::_FILE_NAME_INITIALS &&
        (text.find_first_of("/\\") != std::string::npos || text.find("..") != std::string::npos))
    {
        return "contains a path separator or \"..\", which would put the file outside the FTP directory";
    }
    // With "tl_", the time stamp and the extension the name stays within the 255 octets that file
    // systems and FTP servers take; a longer one would fail every upload.
    if (number == PusherParameterNames::_FILE_NAME_INITIALS && text.size() > _MAX_FILE_NAME_INITIALS)
    {
        return "is longer than " + std::to_string(_MAX_FILE_NAME_INITIALS) +
               " octets, which would make a file name that servers refuse";
    }
    if (number != PusherParameterNames::_FTP_SERVER)
    {
        return "";
    }
    Poco::URI uri;
    try
    {
        uri = serverAddress(text);
    }
    catch (const Poco::SyntaxException& e)
    {
        return "\"" + text + "\" is no server address: " + e.displayText();
    }
    if (uri.getScheme() != "ftp" && uri.getScheme() != _SECURE_SCHEME)
    {
        return "\"" + text + "\" names the scheme " + uri.getScheme() + ", not ftp or ftps";
    }
    if (uri.getHost().empty())
    {
        return "\"" + text + "\" names no host";
    }
    return "";
}

bool DocumentUpload::sendsPasswordInClearText() const
{
    // Without a user there is no login (see send()), so the password goes nowhere.
    return !_ftp.userId.empty() && !_ftp.password.empty() &&
           serverAddress(_ftp.serverURL).getScheme() != _SECURE_SCHEME;
}

Poco::URI DocumentUpload::serverAddress(const std::string& serverURL)
{
    Poco::URI uri(serverURL);
    if (uri.getHost().empty() || uri.getScheme().empty())
    {
        uri = "ftp://" + serverURL;
    }
    return uri;
}

bool DocumentUpload::send(const Poco::Timestamp& now, const std::function<bool(std::ostream&)>& writeDocument,
                          const std::function<void(bool complete)>& transferEnded) const
{
    const Poco::URI uri = checkUploadTarget();
    // Explicit FTPS starts in clear text on the FTP port too.
    const Poco::UInt16 port = uri.getSpecifiedPort() != 0
                                  ? uri.getSpecifiedPort()
                                  : static_cast<Poco::UInt16>(Poco::Net::FTPClientSession::FTP_PORT);
    // Poco's session reads the server's greeting only inside login(); read here first, a session
    // without login stays in step with the server's replies.
    const Poco::Timespan connectTimeout(static_cast<Poco::Timespan::TimeDiff>(_timings.ftpConnectTimeoutMs) *
                                        1000);
    Poco::Net::StreamSocket socket;
    socket.connect(Poco::Net::SocketAddress(uri.getHost(), port), connectTimeout);
    readGreeting(socket, connectTimeout);
    const bool secure = uri.getScheme() == _SECURE_SCHEME;
    std::unique_ptr<Poco::Net::FTPClientSession> pSession;
    if (secure)
    {
        pSession = std::make_unique<SecureFtpSession>(socket, uri.getHost(), trustedCertificates());
    }
    else
    {
        pSession = std::make_unique<Poco::Net::FTPClientSession>(socket, false);
    }
    Poco::Net::FTPClientSession& session = *pSession;
    session.setTimeout(
        Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(_timings.ftpSessionTimeoutMs) * 1000));
    if (!_ftp.userId.empty())
    {
        session.login(_ftp.userId, _ftp.password);
    }
    if (secure)
    {
        static_cast<SecureFtpSession&>(session).protectDataConnections();
    }
    if (!_ftp.directory.empty())
    {
        session.setWorkingDirectory(_ftp.directory);
    }
    session.setFileType(Poco::Net::FTPClientSession::TYPE_TEXT);
    const bool complete = uploadDocument(session, getFileName(now), writeDocument);
    // Before the session ends: a confirmed document counts even when the server then drops the QUIT.
    transferEnded(complete);
    session.close();
    return complete;
}

bool DocumentUpload::uploadDocument(Poco::Net::FTPClientSession& session, const std::string& fileName,
                                    const std::function<bool(std::ostream&)>& writeDocument) const
{
    const std::string partName = fileName + _PART_SUFFIX;
    std::ostream& os = session.beginUpload(partName);
    // Poco gives the data connection no time-out: a server that stops reading would block the app,
    // and its stop request with it, for good. Set on the buffer's own socket: the StreamSocket that
    // SocketIOS::socket() returns would release it under the stream.
    if (auto* pDataConnection = dynamic_cast<Poco::Net::SocketStreamBuf*>(os.rdbuf()))
    {
        pDataConnection->socketImpl()->setSendTimeout(session.getTimeout());
    }
    bool complete = false;
    try
    {
        complete = writeDocument(os) && os.flush().good();
        if (complete)
        {
            finishSecureSending(os);
            session.endUpload();
            session.rename(partName, fileName);
        }
    }
    catch (...)
    {
        discardUpload(session, partName);
        throw;
    }
    if (!complete)
    {
        discardUpload(session, partName);
    }
    return complete;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
