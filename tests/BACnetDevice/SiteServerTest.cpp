// orvik-site's server on the wire, played against by a UDP peer: answers, refusals and junk, the
// subscription limit, confirmed COV notifications retried on the server's clock, and the router with
// its lossy and slow networks behind it.
#include "BACnet/ManualClock.h"
#include "BACnetClient/UdpPeer.h"
#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnet/Codec/Bvll.h"
#include "Orvik_BACnet/Codec/COVNotification.h"
#include "Orvik_BACnet/Codec/Npdu.h"
#include "Orvik_BACnet/Codec/SubscribeCOV.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"
#include "Orvik_BACnetDevice/ServiceCoding.h"
#include "Orvik_BACnetDevice/Site.h"

#include <Poco/Format.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace Orvik::BACnet::Device::Test
{

namespace
{

using BACnet::Test::ManualClock;
using Client::Test::UdpPeer;
using Codec::Octets;
using Codec::Test::Packet;
using namespace Codec;

/// orvik-site's server on the wire, as a hostile or sloppy client meets it: what a request that the
/// devices cannot or will not serve gets back, and that the server keeps serving afterwards.
class SiteServerTest : public ::testing::Test
{
protected:
    explicit SiteServerTest(std::unique_ptr<Device::Site> pSite = testNetwork(),
                            Device::IP::SiteServer::Settings settings = Device::IP::SiteServer::Settings())
        : _pSite(std::move(pSite)), _server(*_pSite, onTheTestsClock(settings))
    {
        _server.start();
    }

    static std::unique_ptr<Device::Site> testNetwork()
    {
        return Device::Site::load(std::string(ORVIK_SOURCE_DIR) + "/sites/test-network.json");
    }

    Device::IP::SiteServer::Settings onTheTestsClock(Device::IP::SiteServer::Settings settings)
    {
        settings.clock = &_clock;
        return settings;
    }

    Poco::Net::SocketAddress deviceA() const { return _server.endpoints().front().address; }

    /// Sends an NPDU (hex) in an Original-Unicast-NPDU.
    void sendNpdu(const std::string& npduHex, const Poco::Net::SocketAddress& to)
    {
        Codec::Octets datagram = Packet::fromHex("81 0a 00 00 " + npduHex);
        datagram[2] = static_cast<std::uint8_t>(datagram.size() >> 8);
        datagram[3] = static_cast<std::uint8_t>(datagram.size());
        _peer.send(datagram, to);
    }
    /// Sends an APDU (hex) to device 100, expecting a reply.
    void send(const std::string& apduHex) { sendNpdu("01 04 " + apduHex, deviceA()); }

    /// The next answer in hex, without its first `skip` octets (BVLL and NPDU without options: 6).
    std::string answer(std::size_t skip = 6)
    {
        Poco::Net::SocketAddress sender;
        const Codec::Octets datagram = _peer.receiveOctets(sender, 2000);
        return Packet::toHex(
            Codec::Octets(datagram.begin() + static_cast<std::ptrdiff_t>(skip), datagram.end()));
    }

    std::unique_ptr<Device::Site> _pSite;
    ManualClock _clock;
    Device::IP::SiteServer _server;
    UdpPeer _peer;
};

// ReadProperty of device 100's object-name, invoke id 9, answered by a Complex-ACK.
const char* const READ_NAME = "00 05 09 0c 0c 02 00 00 64 19 4d";

TEST_F(SiteServerTest, AnswersAndRefusalsOnTheWireAndTheServerGoesOnAfterJunk)
{
    const struct
    {
        const char* what;
        const char* request;
        const char* answerPrefix;
    } cases[] = {
        {"unknown service (reinitialize-device)", "00 05 01 14 09 00", "60 01 09"},
        {"ReadProperty cut short", "00 05 02 0c 0c 02 00", "60 02"},
        {"ReadProperty with a stray tag", "00 05 03 0c 0c 02 00 00 64 19 4d 3e", "60 03"},
        {"segmented request", "08 05 04 00 01 0c 0c 02 00 00 64 19 4d", "71 04 04"},
        {"segmentation-supported: transmit only, as segmented requests are refused",
         "00 05 0a 0c 0c 02 00 00 64 19 6b", "30 0a 0c 0c 02 00 00 64 19 6b 3e 91 01 3f"},
        {"answer too large, segments not accepted (max APDU 50)", "00 00 05 0e 0c 02 00 00 64 1e 09 08 1f",
         "71 05 04"},
        {"answer larger than 2 segments accepted", "02 10 06 0e 0c 02 00 00 64 1e 09 08 1f", "71 06 01"},
        {"answer in segments: the first one alone", "02 00 07 0e 0c 02 00 00 64 1e 09 08 1f", "3c 07 00"},
        {"unknown object", "00 05 08 0c 0c 00 00 00 07 19 55", "50 08 0c 91 01 91 1f"},
        {"Who-Has by name: I-Have", "10 07 3d 11 00 5a 6f 6e 65 20 54 65 6d 70 65 72 61 74 75 72 65",
         "10 01 c4 02 00 00 64 c4 00 00 00 01 75 11 00 5a 6f 6e 65"},
    };
    for (const auto& c : cases)
    {
        send(c.request);
        EXPECT_EQ(answer().rfind(Packet::toHex(Packet::fromHex(c.answerPrefix)), 0), 0u) << c.what;
    }
    // Nothing answers a Segment-ACK of a transfer that does not exist, or datagrams that are no BACnet.
    send("40 63 00 01");
    _peer.send(Packet::fromHex("00 01 02"), deviceA());
    _peer.send(Packet::fromHex("81 0a 00 05 01"), deviceA());
    send(READ_NAME);
    EXPECT_EQ(answer().rfind("30 09 0c", 0), 0u);
    EXPECT_FALSE(_peer.receivesAny(200));
}

TEST_F(SiteServerTest, ADeviceKeepsAtMost256SubscriptionsAndStillTakesRenewals)
{
    Codec::SubscribeCOV::Request request;
    request.monitoredObjectIdentifier = DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1);
    const auto subscribe = [&](Poco::UInt32 processIdentifier)
    {
        request.subscriberProcessIdentifier = processIdentifier;
        const Device::Site::Served served =
            _pSite->serve(100, Device::ServiceRequest(request), DataType::BACnetAddress(), Poco::Timestamp());
        const auto* pError = std::get_if<Codec::ServiceError>(&served.reply->payload);
        return pError == nullptr ? "ack" : pError->getString();
    };
    for (Poco::UInt32 id = 1; id <= 256; ++id)
        ASSERT_EQ("ack", subscribe(id)) << id;
    EXPECT_EQ("resources: no-space-to-add-list-element", subscribe(257));
    EXPECT_EQ("ack", subscribe(7)) << "a renewal";
}

/// Confirmed COV notifications: device 100 tells a new subscriber of its analog-input 1 at once, and
/// tells again each time the server's clock passes the APDU time-out, until an answer comes or the
/// retries are spent. The clock moves only by hand: no retry happens in real time.
class SiteServerNotificationTest : public SiteServerTest
{
protected:
    static constexpr Poco::UInt32 APDU_TIMEOUT_MS = 1000;

    SiteServerNotificationTest() : SiteServerTest(testNetwork(), settings()) {}

    static Device::IP::SiteServer::Settings settings()
    {
        Device::IP::SiteServer::Settings settings;
        settings.advancesSite = false;  // no drifting values: the subscription's own notification only
        settings.apduTimeoutMs = APDU_TIMEOUT_MS;
        settings.apduRetries = 2;
        return settings;
    }

    /// The invoke id of the next confirmed COV notification within `timeoutMs`; none without one.
    std::optional<Poco::UInt8> notification(long timeoutMs)
    {
        const std::optional<Octets> octets = _peer.tryReceiveOctets(timeoutMs);
        if (!octets)
            return std::nullopt;
        const Apdu::Message apdu = Apdu::decode(Npdu::decode(Bvll::decode(*octets).payload).payload);
        EXPECT_EQ(apdu.header.type, Apdu::CONFIRMED_REQUEST);
        EXPECT_EQ(apdu.header.serviceChoice, COVNotification::_CONFIRMED_SERVICE);
        return apdu.header.invokeId;
    }

    /// Answers a notification, and returns once the server has taken the answer: it serves the
    /// datagrams of one socket in order, so the answer of a ReadProperty sent after it tells.
    void acknowledge(Poco::UInt8 invokeId)
    {
        sendNpdu(Poco::format("01 00 20 %02x 01", static_cast<unsigned>(invokeId)), deviceA());
        send(READ_NAME);
        EXPECT_EQ(answer().rfind("30 09 0c", 0), 0u);
    }
};

TEST_F(SiteServerNotificationTest, ANotificationIsSentAgainOnTheServersClockUntilAnswered)
{
    const struct
    {
        const char* what;
        int answeredAtTry;  ///< 0: never
        int tries;
    } cases[] = {
        {"answered at once", 1, 1},
        {"answered at the first retry", 2, 2},
        {"never answered: the first try and both retries", 0, 3},
    };
    unsigned processId = 0;
    for (const auto& c : cases)
    {
        send(Poco::format("00 05 01 05 09 %02x 1c 00 00 00 01 29 01 39 3c", ++processId));
        EXPECT_EQ(answer(), "20 01 05") << c.what;
        int tries = 0;
        std::optional<Poco::UInt8> firstInvokeId;
        while (const std::optional<Poco::UInt8> invokeId = notification(tries == 0 ? 2000 : 300))
        {
            ++tries;
            firstInvokeId = firstInvokeId.value_or(*invokeId);
            EXPECT_EQ(*invokeId, *firstInvokeId) << c.what << ": a retry keeps its invoke id";
            if (tries == c.answeredAtTry)
                acknowledge(*invokeId);
            _clock.advance(APDU_TIMEOUT_MS);
        }
        EXPECT_EQ(tries, c.tries) << c.what;
    }
}

// Device 400 of the test site is on network 5 (MAC 0a), behind the server's router.
TEST_F(SiteServerTest, TheRouterCarriesRequestsToItsNetworkAndRejectsOthers)
{
    const Poco::Net::SocketAddress router = *_server.routerAddress();
    const struct
    {
        const char* what;
        const char* npdu;
        const char* answer;  ///< after the BVLL header
    } cases[] = {
        {"ReadProperty of device 400", "01 24 00 05 01 0a ff 00 05 0a 0c 0c 02 00 01 90 19 4d",
         "01 08 00 05 01 0a 30 0a 0c 0c 02 00 01 90 19 4d 3e"},
        {"Who-Is-Router-To-Network", "01 80 00", "01 80 01 00 05"},
        {"request for network 9", "01 24 00 09 01 0a ff 00 05 0b 0c 0c 02 00 01 90 19 4d",
         "01 80 03 01 00 09"},
    };
    for (const auto& c : cases)
    {
        sendNpdu(c.npdu, router);
        EXPECT_EQ(answer(4).rfind(c.answer, 0), 0u) << c.what;
    }
}

/// Devices behind the router, device <n><mm> on network n at MAC mm: on network 5, 501 loses a quarter
/// of what reaches it, 502 nothing; network 6 is a slow link (100 ms a frame), where 605 is a slow device.
class RoutedSiteServerTest : public SiteServerTest
{
protected:
    static constexpr Poco::Timestamp::TimeDiff FRAME_US = 100000;
    static constexpr Poco::Timestamp::TimeDiff SLOW_DEVICE_US = 1000000;

    RoutedSiteServerTest()
        : SiteServerTest(
              Device::Site::parse(R"({"networks": [{"network": 6, "frameDelayMs": 100}], "devices": [
              {"instance": 501, "network": 5, "mac": "01", "dropRate": 0.25},
              {"instance": 502, "network": 5, "mac": "02"}, {"instance": 601, "network": 6, "mac": "01"},
              {"instance": 602, "network": 6, "mac": "02"}, {"instance": 603, "network": 6, "mac": "03"},
              {"instance": 604, "network": 6, "mac": "04"},
              {"instance": 605, "network": 6, "mac": "05", "faults": {"delayMs": 1000}}]})",
                                  "routed.json"))
    {
    }

    /// A ReadProperty of device `instance`'s object-name (invoke id 5) through the router.
    void askThroughRouter(Poco::UInt32 instance)
    {
        sendNpdu(Poco::format("01 24 00 %02x 01 %02x ff 00 05 05 0c 0c 02 00 %02x %02x 19 4d", instance / 100,
                              instance % 100, instance >> 8, instance & 0xFF),
                 *_server.routerAddress());
    }

    /// The source MAC of the next answer within `timeoutMs`; none without one.
    std::optional<std::uint8_t> answeringMac(long timeoutMs)
    {
        const std::optional<Octets> octets = _peer.tryReceiveOctets(timeoutMs);
        if (!octets)
            return std::nullopt;
        return Npdu::decode(Bvll::decode(*octets).payload).header.source.getMAC()[0];
    }
};

TEST_F(RoutedSiteServerTest, ARoutedDeviceLosesItsShareOfRequestsAndItsNeighbourNone)
{
    std::map<std::uint8_t, int> answered;
    // In batches, so that the router's socket buffer never overflows (a loss that is no device's).
    for (int batch = 0; batch < 4; ++batch)
    {
        for (int request = 0; request < 25; ++request)
        {
            askThroughRouter(501);
            askThroughRouter(502);
        }
        while (const std::optional<std::uint8_t> mac = answeringMac(300))
            ++answered[*mac];
    }
    EXPECT_EQ(answered[0x02], 100);
    EXPECT_GE(answered[0x01], 60);
    EXPECT_LE(answered[0x01], 90);
}

// The link hands over one frame at a time, in order: the k-th request reaches its device no sooner than
// k frames after it was sent, and a slow device answers late without holding up the link.
TEST_F(RoutedSiteServerTest, ASlowLinkPassesOneFrameAtATimeAndASlowDeviceDoesNotHoldIt)
{
    const Poco::Timestamp sent;
    for (Poco::UInt32 instance : {605, 601, 602, 603, 604})
        askThroughRouter(instance);
    for (std::uint8_t mac = 1; mac <= 4; ++mac)
    {
        EXPECT_EQ(answeringMac(5000), mac);
        EXPECT_GE(sent.elapsed(), (mac + 1) * FRAME_US) << "device 60" << int(mac);
    }
    EXPECT_EQ(answeringMac(5000), 5);
    EXPECT_GE(sent.elapsed(), FRAME_US + SLOW_DEVICE_US);
}

}  // namespace

}  // namespace Orvik::BACnet::Device::Test
