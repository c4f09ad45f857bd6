#pragma once

#include <gtest/gtest.h>

#include <Poco/TemporaryFile.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "FtpServer.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataSftpSettings.h"
#include "SshServer.h"
#include "TrendLogPusherDocument.h"
#include "TrendLogPusherRig.h"
#include "TrendLogPusherSiteRecords.h"

/// The pusher suites' gateway 1001: a database file, the rig on a site (served where ORVIK_TEST_SERVER
/// says) and its pusher, uploading to a pyftpdlib server with user "orvik" that starts on first use.
class TrendLogPusherFixture : public testing::Test
{
public:
    using TrendLogPusherRig = Orvik::Test::TrendLogPusherRig;
    using AppTrendLogPusher = TrendLogPusherRig::AppTrendLogPusher;
    using DataPusherTimings = TrendLogPusherRig::DataPusherTimings;
    using FtpFault = Orvik::Test::FtpFault;
    using FtpServer = Orvik::Test::FtpServer;
    using SshServer = Orvik::Test::SshServer;
    using DataSftpSettings = Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataSftpSettings;
    /// Next sequence number to compare, by channel identifier.
    using Next = std::map<std::string, Poco::UInt64>;

    static constexpr Poco::UInt32 _GATEWAY = 1001;

protected:
    /// Puts back the SFTP settings that a test changed.
    void TearDown() override;

    /// An SSH server that starts on first use; null when this machine cannot run one
    /// (SshServer::missing() says why: the test skips).
    SshServer* ssh();
    /// The pushers' SFTP settings for the rest of the test.
    void setSftp(const DataSftpSettings& settings);
    /// Settings that trust the one host key of `fingerprint`.
    static DataSftpSettings pinned(const std::string& fingerprint);
    /// The gateway with analog value 1 and binary value 2 logged from 2026-01-01: `records` records a
    /// minute apart, and 20 records ten minutes apart.
    static std::string smallSite(int records = 300);
    /// The text of a site file of sites/.
    static std::string siteFile(const std::string& name);

    FtpServer& ftp();
    /// Serves `site` on a new rig whose pusher uploads to ftp() with search `collect` (0 list, 1 own
    /// device, 2 network) and markup `language` (0 XML, 1 JSON).
    TrendLogPusherRig& serve(const std::string& site, int collect = 1, int language = 0);
    /// Ends the rig and removes its database: the next rig is a new gateway.
    void forgetGateway();
    /// Serves `site` on a new rig that is not configured.
    TrendLogPusherRig& serveOnly(const std::string& site);
    /// A new pusher of the rig, initialised.
    AppTrendLogPusher& start(const DataPusherTimings& timings = TrendLogPusherRig::quickTimings());
    /// The stored positions (parameter 43).
    Poco::Nullable<std::string> positions() { return _pRig->database().storedParameter(43); }
    /// What the rig's site holds (not on the device simulator, which a test cannot read).
    const TrendLogPusherSiteRecords& site();

    /// The documents with a final export name in `folder` of `server` (an FtpServer or SshServer), in
    /// upload order; a file of any other name fails the test.
    template <class Server>
    static std::vector<TrendLogPusherDocument> documents(const Server& server, const std::string& folder = "")
    {
        std::vector<TrendLogPusherDocument> read;
        for (const std::string& name : server.files(folder))  // sorted: names sort by upload time
        {
            if (!isFinalName(name))
                ADD_FAILURE() << "unexpected file " << name;
            else
                read.emplace_back(server.readFile(folder.empty() ? name : folder + "/" + name));
        }
        return read;
    }
    static bool isFinalName(const std::string& name);
    /// Checks the records of every trend log of the site in `document` from `next` on, and moves `next`
    /// past the records found.
    void expectRecords(const TrendLogPusherDocument& document, Next& next);

    Poco::TemporaryFile _databaseFile;
    std::unique_ptr<TrendLogPusherRig> _pRig;
    std::unique_ptr<AppTrendLogPusher> _pPusher;

private:
    std::optional<FtpServer> _ftp;
    std::optional<SshServer> _ssh;
    std::optional<DataSftpSettings> _sftpBefore;
    std::unique_ptr<TrendLogPusherSiteRecords> _pSite;
};
