#include "BACnetClient/UdpPeer.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"
#include "Orvik_BACnetDevice/ServiceCoding.h"
#include "Orvik_BACnetDevice/Site.h"

#include <gtest/gtest.h>

namespace Orvik::BACnet::Client::Test
{

namespace
{

using Codec::Test::Packet;

/// orvik-site's server on the wire, as a hostile or sloppy client meets it: what a request that the
/// devices cannot or will not serve gets back, and that the server keeps serving afterwards.
class SiteServerTest : public ::testing::Test
{
protected:
    SiteServerTest()
        : _pSite(Device::Site::load(std::string(ORVIK_SOURCE_DIR) + "/sites/test-network.json")),
          _server(*_pSite, Device::IP::SiteServer::Settings())
    {
        _server.start();
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

}  // namespace

}  // namespace Orvik::BACnet::Client::Test
