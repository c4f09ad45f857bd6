#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DocumentUpload.h"

#include <Poco/DateTimeFormatter.h>
#include <Poco/Exception.h>

#include <memory>
#include <mutex>

#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/FtpUploadSession.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PusherParameterNames.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/SftpUploadSession.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

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
    // Before any message that quotes the address.
    if (holdsPassword(text))
    {
        return "holds a password, which belongs in " +
               PusherParameterNames::describe(PusherParameterNames::_FTP_PASSWORD);
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
    if (uri.getScheme() != "ftp" && uri.getScheme() != _SECURE_SCHEME &&
        uri.getScheme() != SftpUploadSession::_SCHEME)
    {
        return "\"" + text + "\" names the scheme " + uri.getScheme() + ", not ftp, ftps or sftp";
    }
    if (uri.getHost().empty())
    {
        return "\"" + text + "\" names no host";
    }
    return "";
}

bool DocumentUpload::holdsPassword(const std::string& serverURL)
{
    // The SFTP login takes the user from the address; a password there would be shown and exported
    // with it.
    try
    {
        const Poco::URI uri(serverURL);  // as written: also an address that names no host
        return uri.getScheme() == SftpUploadSession::_SCHEME &&
               uri.getUserInfo().find(':') != std::string::npos;
    }
    catch (const Poco::SyntaxException&)
    {
        return false;
    }
}

bool DocumentUpload::sendsPasswordInClearText() const
{
    // Without a user there is no login (see send()), so the password goes nowhere.
    const std::string scheme = serverAddress(_ftp.serverURL).getScheme();
    return !_ftp.userId.empty() && !_ftp.password.empty() && scheme != _SECURE_SCHEME &&
           scheme != SftpUploadSession::_SCHEME;
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
    std::unique_ptr<UploadSession> pSession;
    if (uri.getScheme() == SftpUploadSession::_SCHEME)
    {
        pSession = std::make_unique<SftpUploadSession>(uri, _ftp, _timings);
    }
    else
    {
        pSession = std::make_unique<FtpUploadSession>(uri, _ftp, _timings, trustedCertificates());
    }
    const bool complete = uploadDocument(*pSession, getFileName(now), writeDocument);
    // Before the session ends: a confirmed document counts even when the server then drops the end.
    transferEnded(complete);
    pSession->close();
    return complete;
}

bool DocumentUpload::uploadDocument(UploadSession& session, const std::string& fileName,
                                    const std::function<bool(std::ostream&)>& writeDocument)
{
    const std::string partName = fileName + _PART_SUFFIX;
    std::ostream& os = session.beginUpload(partName);
    bool complete = false;
    try
    {
        complete = writeDocument(os) && os.flush().good();
        if (complete)
        {
            session.endUpload();
            session.rename(partName, fileName);
        }
        else
        {
            session.throwIfTransferBroke();
        }
    }
    catch (...)
    {
        session.discard(partName);
        throw;
    }
    if (!complete)
    {
        session.discard(partName);
    }
    return complete;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
