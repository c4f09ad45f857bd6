#include "TrendLogPusherFixture.h"

#include "TextFile.h"

#include <Poco/File.h>

#include <Poco/RegularExpression.h>
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/SftpUploadSession.h"

std::string TrendLogPusherFixture::smallSite(int records)
{
    return R"({"devices": [{"instance": 1001, "name": "Gateway", "vendorIdentifier": 64701, "objects": [
  {"type": "analog-value", "instance": 1, "name": "T1", "units": "degrees-celsius", "presentValue": 20.0},
  {"type": "binary-value", "instance": 2, "name": "B2", "presentValue": "inactive"},
  {"type": "trend-log", "instance": 1, "name": "T1 Log", "logs": "analog-value:1",
   "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 60, "count": )" +
           std::to_string(records) + R"(}},
  {"type": "trend-log", "instance": 2, "name": "B2 Log", "logs": "binary-value:2",
   "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 600, "count": 20}}]}]})";
}

std::string TrendLogPusherFixture::siteFile(const std::string& name)
{
    return Orvik::Test::readFile(std::string(ORVIK_SOURCE_DIR) + "/sites/" + name);
}

TrendLogPusherFixture::FtpServer& TrendLogPusherFixture::ftp()
{
    if (!_ftp)
        _ftp.emplace();
    return *_ftp;
}

void TrendLogPusherFixture::TearDown()
{
    if (_sftpBefore)
        Orvik::BACnet::App::VendorOrvik::TrendLogPusher::SftpUploadSession::setSettings(*_sftpBefore);
}

TrendLogPusherFixture::SshServer* TrendLogPusherFixture::ssh()
{
    if (!_ssh && SshServer::missing().empty())
        _ssh.emplace();
    return _ssh ? &*_ssh : nullptr;
}

void TrendLogPusherFixture::setSftp(const DataSftpSettings& settings)
{
    using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::SftpUploadSession;
    if (!_sftpBefore)
        _sftpBefore = SftpUploadSession::settings();
    SftpUploadSession::setSettings(settings);
}

TrendLogPusherFixture::DataSftpSettings TrendLogPusherFixture::pinned(const std::string& fingerprint)
{
    DataSftpSettings settings;
    settings.hostKeyFingerprint = fingerprint;
    return settings;
}

void TrendLogPusherFixture::forgetGateway()
{
    _pPusher.reset();
    _pSite.reset();
    _pRig.reset();
    if (Poco::File(_databaseFile.path()).exists())
        Poco::File(_databaseFile.path()).remove();
}

TrendLogPusherFixture::TrendLogPusherRig& TrendLogPusherFixture::serveOnly(const std::string& site)
{
    _pPusher.reset();
    _pSite.reset();
    _pRig.reset();
    _pRig = std::make_unique<TrendLogPusherRig>(_databaseFile.path(), site, _GATEWAY);
    return *_pRig;
}

TrendLogPusherFixture::TrendLogPusherRig& TrendLogPusherFixture::serve(const std::string& site, int collect,
                                                                       int language)
{
    serveOnly(site).database().configure(ftp().url(), "orvik", "secret", "", collect, language);
    return *_pRig;
}

TrendLogPusherFixture::AppTrendLogPusher& TrendLogPusherFixture::start(const DataPusherTimings& timings)
{
    _pPusher.reset();  // the former gateway stops first
    _pPusher = _pRig->newPusher(timings);
    _pPusher->initialise();
    return *_pPusher;
}

const TrendLogPusherSiteRecords& TrendLogPusherFixture::site()
{
    if (!_pSite)
        _pSite = std::make_unique<TrendLogPusherSiteRecords>(_pRig->site());
    return *_pSite;
}

bool TrendLogPusherFixture::isFinalName(const std::string& name)
{
    static const Poco::RegularExpression finalName("^tl_TST_\\d{6}_\\d{9}\\.xml$");
    return finalName.match(name);
}

void TrendLogPusherFixture::expectRecords(const TrendLogPusherDocument& document, Next& next)
{
    for (const auto& tl : site().trendLogs())
    {
        std::string mismatch;
        Poco::UInt64& first = next.emplace(tl.channelIdentifier, 1).first->second;
        first = site().compare(tl, document, document.records(tl.channelIdentifier), first, mismatch);
        EXPECT_EQ("", mismatch) << "trend log " << tl.key.objectIdentifier.toString() << " of device "
                                << tl.key.deviceInstance;
    }
}
