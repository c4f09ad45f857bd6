// The trend log pusher over the wire against orvik-site's server: our BACnet/IP client and our server on
// the loopback, the devices found by Who-Is, every record uploaded to the FTP server, and the traffic
// judged by Wireshark's BACnet dissector (no malformed packet, no expert error).

#include <gtest/gtest.h>

#include <Poco/TemporaryFile.h>

#include "FtpServer.h"
#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"
#include "Orvik_BACnetDevice/Site.h"
#include "PacketCapture.h"
#include "TrendLogPusherDocument.h"
#include "TrendLogPusherRig.h"
#include "TrendLogPusherSiteRecords.h"

using namespace Orvik::BACnet;
using Orvik::Test::FtpServer;
using Orvik::Test::PacketCapture;
using Orvik::Test::TrendLogPusherRig;

namespace
{

/// The gateway's own device on 127.0.0.1, a plant controller on 127.0.0.2 whose small APDU makes many
/// ReadRange pages, and one with a long object list, whose answers come in segments.
const std::string SITE = R"({"devices": [
  {"instance": 1001, "name": "Gateway", "vendorIdentifier": 64701, "objects": [
     {"type": "analog-value", "instance": 1, "name": "T1", "presentValue": 20.0},
     {"type": "trend-log", "instance": 1, "name": "T1 Log", "logs": "analog-value:1",
      "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 60, "count": 300}}]},
  {"instance": 2001, "name": "Plant", "bind": "127.0.0.2", "maxApdu": 480, "objects": [
     {"type": "analog-input", "instance": 1, "name": "Flow", "presentValue": 55.0},
     {"type": "trend-log", "instance": 1, "name": "Flow Log", "logs": "analog-input:1",
      "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 30, "count": 700}}]}]})";

const Poco::UInt32 GATEWAY = 1001;

}  // namespace

TEST(OrvikSiteInterop, TrendLogPusherUploadsEveryRecordOfEveryDeviceFoundByWhoIs)
{
    const std::unique_ptr<Device::Site> pSite = Device::Site::parse(SITE, "site");
    Device::IP::SiteServer server(*pSite, Device::IP::SiteServer::Settings());
    std::vector<Poco::UInt16> ports;
    for (const auto& endpoint : server.endpoints())
        ports.push_back(endpoint.address.port());
    std::unique_ptr<PacketCapture> pCapture;
    if (PacketCapture::missing().empty())
        pCapture = std::make_unique<PacketCapture>(ports);
    server.start();

    Client::IP::BACnetIPNetwork::Settings settings;
    settings.local = Poco::Net::SocketAddress("127.0.0.1", 0);
    settings.broadcast = server.endpoints().front().address;
    settings.transactions.apduTimeoutMs = 500;
    settings.transactions.segmentTimeoutMs = 500;
    FtpServer ftp;
    Poco::TemporaryFile database;
    TrendLogPusherRig rig(database.path(), std::make_unique<Client::IP::BACnetIPNetwork>(settings), GATEWAY);
    rig.database().configure(ftp.url(), "orvik", "secret", "", 2, 0);
    const auto pReference = Client::Simulation::SimulatedSite::parse(SITE, "reference");
    const TrendLogPusherSiteRecords reference(*pReference);

    testing::internal::CaptureStdout();
    auto pPusher = rig.newPusher();
    pPusher->initialise();
    const bool uploaded = pPusher->createAndSendFiles();
    const std::string console = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(uploaded) << console;
    const std::vector<std::string> files = ftp.files();
    ASSERT_EQ(1u, files.size());
    const TrendLogPusherDocument document(ftp.readFile(files[0]));
    for (const auto& tl : reference.trendLogs())
    {
        std::string mismatch;
        const Poco::UInt64 next =
            reference.compare(tl, document, document.records(tl.channelIdentifier), 1, mismatch);
        EXPECT_EQ("", mismatch) << "trend log of device " << tl.key.deviceInstance;
        EXPECT_EQ(tl.key.deviceInstance == GATEWAY ? 301u : 701u, next)
            << "records of " << tl.key.deviceInstance;
    }

    if (!pCapture)
        return;
    const PacketCapture::Report report = pCapture->analyse();
    EXPECT_GT(report.bacnet, 0u);
    EXPECT_EQ(report.bacnet, report.packets) << "datagrams on the BACnet ports that are not BACnet/IP";
    for (const std::string& problem : report.problems)
        ADD_FAILURE() << "dissector: " << problem;
}
