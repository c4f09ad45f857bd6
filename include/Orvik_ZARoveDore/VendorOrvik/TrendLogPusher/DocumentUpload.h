#pragma once

#include <Poco/Timestamp.h>
#include <Poco/URI.h>

#include <functional>
#include <ostream>
#include <string>

#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataFtpServer.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataPusherTimings.h"

namespace Poco::Net
{
class FTPClientSession;
}

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// One export document to the FTP server: a session (greeting, login, working directory), the document
/// written straight into the data connection under a temporary name (the final name plus ".part"),
/// renamed to its final name "tl_<initials>_<yyMMdd_HHmmssSSS>.xml" only once the server has confirmed
/// the transfer, and removed, as far as the session still allows, when it could not be completed. A
/// consumer of the FTP folder therefore never sees a partial document under a final name.
///
/// Every parameter that reaches the session is checked first (checkUploadTarget()). The target, the
/// initials and the timings are not owned and must outlive the upload.
class DocumentUpload
{
public:
    /// Suffix of the temporary name under which a document is uploaded until the server confirmed it.
    static const std::string _PART_SUFFIX;

    DocumentUpload(const DataFtpServer& ftp, const std::string& fileNameInitials,
                   const DataPusherTimings& timings);

    /// Checks every parameter that reaches the FTP session and returns the server's URI. Throws
    /// Poco::InvalidArgumentException naming the parameter when a text would end an FTP command early
    /// (CR, LF, NUL), when the file name initials hold a path separator or "..", or when the server
    /// is not an ftp address with a host (port 0 included). Nothing is changed silently.
    Poco::URI checkUploadTarget() const;
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
    bool uploadDocument(Poco::Net::FTPClientSession& session, const std::string& fileName,
                        const std::function<bool(std::ostream&)>& writeDocument) const;

    const DataFtpServer& _ftp;
    const std::string& _fileNameInitials;
    const DataPusherTimings& _timings;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
