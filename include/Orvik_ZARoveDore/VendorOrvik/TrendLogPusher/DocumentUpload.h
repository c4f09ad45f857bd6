#pragma once

#include <Poco/Timestamp.h>
#include <Poco/URI.h>

#include <functional>
#include <ostream>
#include <string>

#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataFtpServer.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataPusherTimings.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/UploadSession.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// One export document to the file server: a session (an UploadSession: connection, login, directory),
/// the document written straight into the transfer under a temporary name (the final name plus
/// ".part"), renamed to its final name "tl_<initials>_<yyMMdd_HHmmssSSS>.xml" only once the server has
/// confirmed the transfer, and removed, as far as the session still allows, when it could not be
/// completed. A consumer of the folder therefore never sees a partial document under a final name.
/// This sequence is the same for every protocol.
///
/// A server address with the scheme "ftps" is reached over explicit TLS (FtpUploadSession with
/// SecureFtpSession): control and data connections encrypted, the server's certificate checked against
/// the trusted certificates (setTrustedCertificates()) and the address's host name; a certificate that
/// does not pass fails the attempt like any refusal of the server. "sftp" goes over SSH
/// (SftpUploadSession, host key checked first). "ftp" and addresses without a scheme stay in clear text.
///
/// Every parameter that reaches the session is checked first (checkUploadTarget()). The target, the
/// initials and the timings are not owned and must outlive the upload.
class DocumentUpload
{
public:
    /// Suffix of the temporary name under which a document is uploaded until the server confirmed it.
    static const std::string _PART_SUFFIX;
    /// The scheme of a server address reached over explicit TLS.
    static const std::string _SECURE_SCHEME;
    /// The longest file name initials, in octets, that keep the export file name within 255 octets.
    static constexpr std::size_t _MAX_FILE_NAME_INITIALS = 200;

    /// The CA certificates (a PEM file) that FTPS servers' certificates must chain to, for every upload
    /// of the process from the next session on; empty (the default): the system's trust store. Set by
    /// the host program at start; tests that change it put the previous value back.
    static void setTrustedCertificates(const std::string& caFile);
    /// The file set by setTrustedCertificates(); empty: the system's trust store.
    static std::string trustedCertificates();

    DocumentUpload(const DataFtpServer& ftp, const std::string& fileNameInitials,
                   const DataPusherTimings& timings);

    /// Checks every parameter that reaches the FTP session and returns the server's URI. Throws
    /// Poco::InvalidArgumentException naming the parameter when a text would end an FTP command early
    /// (CR, LF, NUL), when the file name initials hold a path separator or ".." or are longer than
    /// _MAX_FILE_NAME_INITIALS, or when the server is not an ftp, ftps or sftp address with a host (port 0
    /// included) or holds a password. Nothing is changed silently.
    Poco::URI checkUploadTarget() const;
    /// Why the text of parameter `number` would be refused by checkUploadTarget(), or "" when it would
    /// not (any text of other parameters). For tools that check a value before it is stored.
    static std::string problemWith(Poco::Int32 number, const std::string& text);
    /// True when `serverURL` is an sftp address that names a password (user:password@), which
    /// problemWith() refuses; a message about it must not repeat the address.
    static bool holdsPassword(const std::string& serverURL);
    /// True when the login would send a password over a connection without encryption: a user and a
    /// password are given and the server's address is neither "ftps" nor "sftp". Call once
    /// checkUploadTarget() has passed.
    bool sendsPasswordInClearText() const;
    /// The export file name of an attempt started at `now`: "tl_" + initials + "_" + UTC
    /// "%y%m%d_%H%M%S%i" + ".xml".
    std::string getFileName(const Poco::Timestamp& now) const;

    /// Uploads the document that `writeDocument` writes (false: it ended early) as the file of an
    /// attempt started at `now`. True when the server confirmed the whole document and it carries its
    /// final name; false when the document was incomplete or the stream failed, and was discarded.
    /// `transferEnded` gets that result while the session is still open, before it is closed.
    /// Throws on a refused parameter (before any connection) and on a failure of the session; a
    /// temporary file is discarded then too, as far as the session allows.
    bool send(const Poco::Timestamp& now, const std::function<bool(std::ostream&)>& writeDocument,
              const std::function<void(bool complete)>& transferEnded) const;

private:
    /// `serverURL` as a URI, "ftp://" put in front when it names no scheme or no host. Throws
    /// Poco::SyntaxException.
    static Poco::URI serverAddress(const std::string& serverURL);
    static bool uploadDocument(UploadSession& session, const std::string& fileName,
                               const std::function<bool(std::ostream&)>& writeDocument);

    const DataFtpServer& _ftp;
    const std::string& _fileNameInitials;
    const DataPusherTimings& _timings;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
