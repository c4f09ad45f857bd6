// Our BACnet/IP client and the npm library's client (tests/peers/bacnet-device) against orvik-site's
// server on the loopback. Every test's traffic is captured and judged by Wireshark's BACnet dissector: no
// malformed packet, no expert error.

#include <gtest/gtest.h>

#include <Poco/TemporaryFile.h>

#include <algorithm>
#include <map>

#include "BACnetClient/InteropNetwork.h"
#include "BACnetJSClient.h"
#include "FtpServer.h"
#include "NetworkNamespace.h"
#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"
#include "Orvik_BACnetDevice/Site.h"
#include "PacketCapture.h"
#include "TrendLogPusherDocument.h"
#include "TrendLogPusherRig.h"
#include "TrendLogPusherSiteRecords.h"

using namespace Orvik::BACnet;
namespace BC = Orvik::BACnet::Client;
using Orvik::Test::BACnetJSClient;
using Orvik::Test::FtpServer;
using Orvik::Test::InteropNetwork;
using Orvik::Test::NetworkNamespace;
using Orvik::Test::PacketCapture;
using Orvik::Test::TrendLogPusherRig;

namespace
{

const Poco::UInt32 GATEWAY = 1001;

/// `count` analog values from instance 1, as site file objects.
std::string analogValues(Poco::UInt32 count)
{
    std::string objects;
    for (Poco::UInt32 instance = 1; instance <= count; ++instance)
        objects += std::string(instance == 1 ? "" : ",") + R"({"type": "analog-value", "instance": )" +
                   std::to_string(instance) + R"(, "presentValue": )" + std::to_string(instance) + "}";
    return objects;
}

/// Trend logs on 127.0.0.1, on 127.0.0.2 (small answers: many pages) and behind the router; devices
/// with many objects whose answers come in segments, and one that takes small requests only and cannot
/// segment its answers (4001), as many field devices.
const std::string TREND_LOG_DEVICES = R"({"devices": [
  {"instance": 1001, "name": "Gateway", "vendorIdentifier": 64701, "vendorName": "Orvik", "modelName": "GW",
   "objects": [{"type": "analog-value", "instance": 1, "name": "T1", "presentValue": 20.0},
     {"type": "trend-log", "instance": 1, "name": "T1 Log", "logs": "analog-value:1",
      "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 60, "count": 300}}]},
  {"instance": 2001, "name": "Plant", "bind": "127.0.0.2", "maxApdu": 480, "objects": [
     {"type": "analog-input", "instance": 1, "name": "Flow", "presentValue": 55.0},
     {"type": "analog-value", "instance": 2, "name": "Setpoint", "presentValue": 21.0, "commandable": true},
     {"type": "trend-log", "instance": 1, "name": "Flow Log", "logs": "analog-input:1",
      "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 30, "count": 700, "shape": "sine",
              "offset": 50, "amplitude": 5, "periodRecords": 100}}]},
  {"instance": 3001, "name": "Field", "network": 5, "mac": "0a", "objects": [
     {"type": "binary-input", "instance": 1, "name": "Door", "presentValue": "active"},
     {"type": "trend-log", "instance": 1, "name": "Door Log", "logs": "binary-input:1",
      "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 600, "count": 90}}]}]})";

const std::string SITE = TREND_LOG_DEVICES.substr(0, TREND_LOG_DEVICES.size() - 2) + R"(,
  {"instance": 4001, "name": "Small", "bind": "127.0.0.3", "maxApdu": 480, "segmentation": "no-segmentation",
   "objects": [)" + analogValues(300) +
                         R"(]},
  {"instance": 5001, "name": "Large", "bind": "127.0.0.3",
   "objects": [)" + analogValues(400) +
                         "]}]}";

/// A client worker on our BACnet/IP network, and a requester on this thread.
class IPClient
{
public:
    explicit IPClient(const Poco::Net::SocketAddress& broadcast)
        : IPClient(InteropNetwork::settings(broadcast))
    {
    }
    explicit IPClient(const BC::IP::BACnetIPNetwork::Settings& settings)
        : _pNetwork(std::make_unique<BC::IP::BACnetIPNetwork>(settings)),
          _worker(&_clientQueue, *_pNetwork),
          _helper(&_clientQueue, &_responseQueue)
    {
        _worker.start();
    }
    ~IPClient() { _worker.stop(); }

    BC::ServiceHelper& helper() { return _helper; }
    /// Where the station answers (its own device, when it serves one).
    Poco::Net::SocketAddress address() const { return _pNetwork->localAddress(); }

    /// Writes and waits for the answer: empty when acknowledged, else the error's text.
    std::string write(const BC::DataPropertyKey& key, Poco::UInt32 priority, const ValueContainer& value)
    {
        const Poco::UInt32 id = _helper.asyncWP(key, priority, value);
        Poco::AutoPtr<Poco::Notification> pNf(_responseQueue.waitDequeueNotification(20000));
        auto* pReply = dynamic_cast<BC::NotificationResponseBase*>(pNf.get());
        auto* pError = dynamic_cast<BC::NotificationResponsePropertyAccess<DataError>*>(pReply);
        if (pReply == nullptr || pReply->getRequestId() != id)
            return "no answer";
        return pError == nullptr ? "" : pError->getResponse().getString();
    }

    /// The property's value as its stored text, or the error's text.
    std::string read(const BC::DataPropertyKey& key)
    {
        ValueContainer value;
        DataError error;
        if (_helper.syncRP(key, value, &error) != BC::ServiceHelper::SYNC_RESULT_SUCCESS)
            return error.getString();
        return value.getText();
    }

private:
    std::unique_ptr<BC::IP::BACnetIPNetwork> _pNetwork;
    Poco::NotificationQueue _clientQueue;
    Poco::NotificationQueue _responseQueue;
    BC::ClientWorker _worker;
    BC::ServiceHelper _helper;
};

/// SITE served by orvik-site's server (one per test, in this process).
class BACnetIPInterop : public testing::Test
{
protected:
    void SetUp() override
    {
        _pSite = Device::Site::parse(SITE, "site");
        _pServer = std::make_unique<Device::IP::SiteServer>(*_pSite, Device::IP::SiteServer::Settings());
        std::vector<Poco::UInt16> ports;
        for (const auto& endpoint : _pServer->endpoints())
            ports.push_back(endpoint.address.port());
        _broadcast = _pServer->endpoints().front().address;
        _pServer->start();
        if (PacketCapture::missing().empty())
            _pCapture = std::make_unique<PacketCapture>(ports);
        else
            std::cout << PacketCapture::missing() << ": the traffic is not judged" << std::endl;
    }

    /// The dissector's judgement of the test's traffic.
    void TearDown() override
    {
        if (_pCapture)
        {
            EXPECT_GT(_pCapture->judge().bacnet, 0u);
        }
    }

    /// Where our client and the library's send their broadcasts.
    const Poco::Net::SocketAddress& broadcast() const { return _broadcast; }

    /// Confirmed requests that a device has received.
    std::size_t requestCount(Poco::UInt32 device) const { return _pSite->getRequestCount(device); }

private:
    std::unique_ptr<Device::Site> _pSite;
    std::unique_ptr<Device::IP::SiteServer> _pServer;
    Poco::Net::SocketAddress _broadcast;
    std::unique_ptr<PacketCapture> _pCapture;
};

}  // namespace

TEST_F(BACnetIPInterop, TrendLogPusherUploadsEveryRecordOfEveryDeviceFoundByWhoIs)
{
    FtpServer ftp;
    Poco::TemporaryFile database;
    TrendLogPusherRig rig(database.path(), InteropNetwork::make(broadcast()), GATEWAY);
    rig.database().configure(ftp.url(), "orvik", "secret", "", 2, 0);
    const auto pReference = BC::Simulation::SimulatedSite::parse(TREND_LOG_DEVICES, "reference");
    const TrendLogPusherSiteRecords site(*pReference);
    ASSERT_EQ(3u, site.trendLogs().size());
    testing::internal::CaptureStdout();
    auto pPusher = rig.newPusher();
    pPusher->initialise();
    const bool uploaded = pPusher->createAndSendFiles();
    const std::string console = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(uploaded) << console;
    const std::vector<std::string> files = ftp.files();
    ASSERT_EQ(1u, files.size());
    const TrendLogPusherDocument document(ftp.readFile(files[0]));
    std::vector<std::string> devices;
    for (const auto& device : document.root().child("devices").children)
        devices.push_back(device.name);
    EXPECT_EQ((std::vector<std::string>{"1001", "2001", "3001"}), devices) << console;
    for (const auto& tl : site.trendLogs())
    {
        std::string mismatch;
        const Poco::UInt64 next =
            site.compare(tl, document, document.records(tl.channelIdentifier), 1, mismatch);
        EXPECT_EQ("", mismatch) << "trend log of device " << tl.key.deviceInstance;
        EXPECT_EQ(tl.key.deviceInstance == 1001   ? 301u
                  : tl.key.deviceInstance == 2001 ? 701u
                                                  : 91u,
                  next)
            << "records of device " << tl.key.deviceInstance;
    }
}

TEST_F(BACnetIPInterop, ReadPropertyMultipleTooLargeForOneAnswerIsSegmentedOrSplit)
{
    IPClient client(broadcast());
    struct Case
    {
        Poco::UInt32 device;
        Poco::UInt32 objects;
    };
    for (const Case& c : {Case{5001, 400}, Case{4001, 300}})
    {
        SCOPED_TRACE("device " + std::to_string(c.device));
        std::vector<BC::NotificationRequestRPM::Parameter> request;
        for (Poco::UInt32 instance = 1; instance <= c.objects; ++instance)
        {
            request.emplace_back(DataType::ObjectIdentifier(OBJECT_ANALOG_VALUE, instance),
                                 std::vector<BC::DataPropertyRef>{BC::DataPropertyRef(PROP_OBJECT_NAME),
                                                                  BC::DataPropertyRef(PROP_PRESENT_VALUE),
                                                                  BC::DataPropertyRef(PROP_STATUS_FLAGS)});
        }
        request.emplace_back(DataType::ObjectIdentifier(OBJECT_ANALOG_VALUE, 99999),
                             std::vector<BC::DataPropertyRef>{BC::DataPropertyRef(PROP_PRESENT_VALUE)});
        std::vector<BC::DataResponseRPM> responses;
        DataError error;
        const std::size_t requestsBefore = requestCount(c.device);
        ASSERT_EQ(BC::ServiceHelper::SYNC_RESULT_SUCCESS,
                  client.helper().syncRPM(c.device, request, responses, &error))
            << error.getString();
        const std::size_t requests = requestCount(c.device) - requestsBefore;
        // The request itself is split to fit the device's max APDU (1476 and 480 octets); the answers come
        // in segments (without them 400 objects would take dozens of requests), or, from the device that
        // cannot segment, in parts each small enough for one answer.
        EXPECT_LE(requests, c.device == 5001 ? 5u : 20u);
        ASSERT_EQ(c.objects + 1, responses.size());
        for (Poco::UInt32 i = 0; i < c.objects; ++i)
        {
            EXPECT_EQ(i + 1, responses[i].objectIdentifier.getInstance());
            ASSERT_EQ(3u, responses[i].values.size());
            for (const auto& value : responses[i].values)
                EXPECT_FALSE(value.hasError()) << i << ": " << value.error.getString();
        }
        ASSERT_EQ(1u, responses.back().values.size());
        EXPECT_EQ(DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT), responses.back().values[0].error);
    }
    // An object list too large for one answer: 401 identifiers in one segmented answer; 301 from the device
    // that cannot segment, read by its elements after its refusal (at least the refused read, the count
    // and one read of elements).
    for (const auto& [device, objects, fewestRequests, mostRequests] :
         {std::tuple<Poco::UInt32, std::size_t, std::size_t, std::size_t>{5001, 401, 1, 1},
          {4001, 301, 3, 20}})
    {
        ValueContainer list;
        const std::size_t requestsBefore = requestCount(device);
        ASSERT_EQ(BC::ServiceHelper::SYNC_RESULT_SUCCESS,
                  client.helper().syncRP(
                      BC::DataPropertyKey(device, DataType::ObjectIdentifier(OBJECT_DEVICE, device),
                                          BC::DataPropertyRef(PROP_OBJECT_LIST)),
                      list));
        EXPECT_EQ(objects, list.size()) << device;
        const std::size_t requests = requestCount(device) - requestsBefore;
        EXPECT_GE(requests, fewestRequests) << device;
        EXPECT_LE(requests, mostRequests) << device;
    }
}

TEST_F(BACnetIPInterop, WritesWithPriorityAndTheirRelinquishReachTheDevice)
{
    IPClient client(broadcast());
    const DataType::ObjectIdentifier object(OBJECT_ANALOG_VALUE, 2);
    const BC::DataPropertyKey setpoint(2001, object, BC::DataPropertyRef(PROP_PRESENT_VALUE));
    const BC::DataPropertyKey slot8(2001, object, BC::DataPropertyRef(PROP_PRIORITY_ARRAY, 8));
    ValueContainer value;
    value.setReal(23.5f);
    EXPECT_EQ("", client.write(setpoint, 8, value));
    EXPECT_EQ("23.5", client.read(slot8));
    EXPECT_EQ("23.5", client.read(setpoint));
    ValueContainer nothing;
    nothing.setNull();
    EXPECT_EQ("", client.write(setpoint, 8, nothing));
    EXPECT_EQ("null", client.read(slot8));
    EXPECT_EQ("21", client.read(setpoint)) << "the relinquish-default again";

    // Refused writes come back as the device's errors.
    const BC::DataPropertyKey missing(2001, DataType::ObjectIdentifier(OBJECT_ANALOG_VALUE, 77),
                                      BC::DataPropertyRef(PROP_PRESENT_VALUE));
    EXPECT_NE(std::string::npos, client.write(missing, 8, value).find("unknown-object"));
    const BC::DataPropertyKey unknown(2001, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1),
                                      BC::DataPropertyRef(static_cast<BACNET_PROPERTY_ID>(4000)));
    EXPECT_NE(std::string::npos, client.write(unknown, 8, value).find("unknown-property"));
}

TEST_F(BACnetIPInterop, TheLibrarysClientFindsReadsWritesAndSubscribes)
{
    if (!BACnetJSClient::missing().empty())
        GTEST_SKIP() << BACnetJSClient::missing();
    BACnetJSClient client(broadcast());
    auto settings = InteropNetwork::settings(broadcast());
    settings.ownDevice = Device::Site::load(ORVIK_SOURCE_DIR "/sites/local-device.json");
    const IPClient gateway(settings);
    // Objects are "<type>:<instance>" and properties numbers: 8 device, 2 analog value, 20 trend log;
    // 76 object-list, 77 object-name, 85 present-value, 111 status-flags.
    struct Step
    {
        std::string command;
        std::string answer;
    };
    const std::vector<Step> steps = {
        {"whois", R"({"devices":[1001,2001,4001,5001]})"},
        {"read 1001 8:1001 77", R"({"values":["Gateway"]})"},
        // 401 identifiers do not fit one answer: segments.
        {"read 5001 8:5001 76", R"({"count":401})"},
        {"read 5001 8:5001 76 0", R"({"values":[401]})"},
        // Segments of at most 480 octets, as the request accepts.
        {"rpm 5001 2 1 80 77,85,111 480", R"({"objects":80,"values":240,"errors":0})"},
        // 700 records, 20 to a page of 2001's 480 octets.
        {"readrange 2001 20:1 100", R"({"records":700,"pages":35,)"
                                    R"("first":{"time":"2026-01-01T00:00:00.000Z","value":50},)"
                                    R"("last":{"time":"2026-01-01T05:49:30.000Z","value":49.686}})"},
        {"subscribe 2001 2:2 7 confirmed 300", R"({"ok":true})"},
        {"subscribe 2001 2:2 8 unconfirmed 300", R"({"ok":true})"},
        {"write 2001 2:2 85 23.5 8", R"({"ok":true})"},
        // The first notification of each subscription, then those of the write.
        {"notifications 4 5000", R"({"notifications":[)"
                                 R"({"confirmed":false,"object":"2:2","presentValue":21},)"
                                 R"({"confirmed":false,"object":"2:2","presentValue":23.5},)"
                                 R"({"confirmed":true,"object":"2:2","presentValue":21},)"
                                 R"({"confirmed":true,"object":"2:2","presentValue":23.5}]})"},
        {"write 2001 2:2 85 null 8", R"({"ok":true})"},
        {"read 2001 2:2 85", R"({"values":[21]})"},
        // object / unknown-object
        {"read 2001 2:77 85", R"({"error":"BacnetError - Class:1 - Code:31"})"},
        // The gateway's own device as shipped, served by our client's station.
        {"whois " + gateway.address().toString(), R"({"devices":[1001]})"},
        {"read 1001 8:1001 77", R"({"values":["Orvik Gateway"]})"},
    };
    for (const Step& step : steps)
        EXPECT_EQ(step.answer, client.ask(step.command)) << step.command;
}

TEST(BACnetIPInteropBroadcast, AGlobalWhoIsIsHeardByEveryDeviceOnTheSegment)
{
    if (!NetworkNamespace::missing().empty())
        GTEST_SKIP() << NetworkNamespace::missing();
    // Three hosts on one Ethernet segment: the gateway on the first, orvik-site's server with one device on
    // each of the others, all on the standard port; the devices answer with broadcast I-Ams.
    NetworkNamespace lan(3);
    std::vector<std::unique_ptr<Device::Site>> sites;
    std::vector<std::unique_ptr<Device::IP::SiteServer>> servers;
    for (std::size_t host = 1; host < 3; ++host)
    {
        sites.push_back(Device::Site::parse(
            R"({"devices": [{"instance": )" + std::to_string(600 + host) + R"(, "bind": "0.0.0.0:47808"}]})",
            "site"));
        Device::IP::SiteServer::Settings serverSettings;
        serverSettings.broadcast = Poco::Net::SocketAddress(lan.broadcastAddress(), 47808);
        // The server binds its sockets when it is made: inside the device's host.
        lan.runInside(
            host, [&]
            { servers.push_back(std::make_unique<Device::IP::SiteServer>(*sites.back(), serverSettings)); });
        servers.back()->start();
    }
    BC::IP::BACnetIPNetwork::Settings settings;
    settings.local = Poco::Net::SocketAddress("0.0.0.0", 47808);
    settings.broadcast = Poco::Net::SocketAddress(lan.broadcastAddress(), 47808);
    Poco::NotificationQueue clientQueue;
    Poco::NotificationQueue responseQueue;
    BC::ClientWorker::Settings window;
    window.whoIsWindowMs = 500;
    // The network binds its socket when it is made, and the worker starts its threads: both inside the
    // gateway's host.
    std::unique_ptr<BC::IP::BACnetIPNetwork> pNetwork;
    std::unique_ptr<BC::ClientWorker> pWorker;
    lan.runInside(0,
                  [&]
                  {
                      pNetwork = std::make_unique<BC::IP::BACnetIPNetwork>(settings);
                      pWorker = std::make_unique<BC::ClientWorker>(&clientQueue, *pNetwork, window);
                      pWorker->start();
                  });
    BC::ServiceHelper helper(&clientQueue, &responseQueue);
    std::vector<BC::DataResponseWhoIs> heard;
    EXPECT_EQ(BC::ServiceHelper::SYNC_RESULT_SUCCESS,
              helper.syncWhoIs(DataType::BACnetAddress(), 0, 4194303, heard));
    pWorker->stop();
    std::map<Poco::UInt32, std::string> senders;
    for (const BC::DataResponseWhoIs& iAm : heard)
        iAm.address.getString(senders[iAm.deviceInstance], true);
    EXPECT_EQ((std::map<Poco::UInt32, std::string>{{601, lan.address(1) + ":47808"},
                                                   {602, lan.address(2) + ":47808"}}),
              senders);
}
