#pragma once

#include <Poco/URI.h>

#include <memory>

#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataFtpServer.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataPusherTimings.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/UploadSession.h"

namespace Poco::Net
{
class FTPClientSession;
}

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// An upload session over FTP, or over explicit TLS (SecureFtpSession) when the address's scheme is
/// "ftps": the constructor connects (within the connect time-out), reads the greeting, logs in when a
/// user is given, changes to the directory when one is given and chooses the text type. Each later
/// wait, on the control connection and for each write on the data connection, ends after the session
/// time-out.
class FtpUploadSession : public UploadSession
{
public:
    /// `caFile`: the CA certificates an FTPS server's certificate must chain to; empty: the system's
    /// trust store. Throws when the server cannot be reached or refuses a step.
    FtpUploadSession(const Poco::URI& server, const DataFtpServer& ftp, const DataPusherTimings& timings,
                     const std::string& caFile);
    ~FtpUploadSession() override;

    std::ostream& beginUpload(const std::string& name) override;
    void endUpload() override;
    /// Does nothing: a broken data connection ends the attempt as an incomplete document.
    void throwIfTransferBroke() override;
    void rename(const std::string& from, const std::string& to) override;
    void discard(const std::string& name) noexcept override;
    void close() override;

private:
    std::unique_ptr<Poco::Net::FTPClientSession> _pSession;
    std::ostream* _pUpload = nullptr;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
