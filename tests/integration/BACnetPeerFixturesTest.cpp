// The fixtures that interoperability tests stand on: the device simulator answers datagrams built
// by hand, the capture sees them and the dissector tells a sound packet from a broken one, and a
// broadcast on namespaces reaches several simulators.

#include "BACnetDeviceSimulator.h"
#include "NetworkNamespace.h"
#include "PacketCapture.h"

#include <gtest/gtest.h>

#include <Poco/Net/DatagramSocket.h>
#include <Poco/Net/NetException.h>

#include <array>
#include <set>
#include <vector>

using Orvik::Test::BACnetDeviceSimulator;
using Orvik::Test::NetworkNamespace;
using Orvik::Test::PacketCapture;

namespace
{

const std::vector<unsigned char> WHO_IS = {0x81, 0x0a, 0x00, 0x08, 0x01, 0x00, 0x10, 0x08};
const std::vector<unsigned char> WHO_IS_BROADCAST = {0x81, 0x0b, 0x00, 0x08, 0x01, 0x00, 0x10, 0x08};
/// A confirmed request cut off after its NPDU header and two octets.
const std::vector<unsigned char> TRUNCATED_REQUEST = {0x81, 0x0a, 0x00, 0x08, 0x01, 0x04, 0x00, 0x05};

std::string site(unsigned instance, const std::string& deviceMembers = "")
{
    return R"({"devices": [{"instance": )" + std::to_string(instance) + deviceMembers +
           R"(, "objects": [{"type": "analog-input", "instance": 1, "presentValue": 20.5}]}]})";
}

/// The device instance of an I-Am datagram (BVLL, NPDU without specifiers), or -1.
long iAmInstance(const std::vector<unsigned char>& datagram)
{
    if (datagram.size() < 12 || datagram[6] != 0x10 || datagram[7] != 0x00 || datagram[8] != 0xc4)
        return -1;
    const unsigned long id = (static_cast<unsigned long>(datagram[9]) << 24) | (datagram[10] << 16) |
                             (datagram[11] << 8) | datagram[12];
    return (id >> 22) == 8 ? static_cast<long>(id & 0x3fffff) : -1;
}

std::vector<unsigned char> receive(Poco::Net::DatagramSocket& socket, Poco::Net::SocketAddress& from)
{
    std::array<unsigned char, 1500> buffer{};
    const int length = socket.receiveFrom(buffer.data(), static_cast<int>(buffer.size()), from);
    return std::vector<unsigned char>(buffer.begin(), buffer.begin() + length);
}

void send(Poco::Net::DatagramSocket& socket, const std::vector<unsigned char>& datagram,
          const Poco::Net::SocketAddress& to)
{
    socket.sendTo(datagram.data(), static_cast<int>(datagram.size()), to);
}

}  // namespace

TEST(BACnetPeerFixtures, SimulatorAnswersAHandMadeWhoIsAndTheDissectorFlagsOnlyTheBrokenPacket)
{
    for (const std::string& missing : {BACnetDeviceSimulator::missing(), PacketCapture::missing()})
    {
        if (!missing.empty())
            GTEST_SKIP() << missing;
    }
    BACnetDeviceSimulator simulator(site(4711), BACnetDeviceSimulator::Site::TEXT);
    const Poco::Net::SocketAddress device = simulator.device(4711).address;
    PacketCapture capture(simulator.ports());
    Poco::Net::DatagramSocket socket(Poco::Net::SocketAddress("127.0.0.1", 0));
    socket.setReceiveTimeout(Poco::Timespan(5, 0));
    Poco::Net::SocketAddress from;

    send(socket, WHO_IS, device);
    EXPECT_EQ(iAmInstance(receive(socket, from)), 4711);
    EXPECT_EQ(from, device);
    send(socket, TRUNCATED_REQUEST, device);
    // The device drops the broken request and still answers.
    send(socket, WHO_IS, device);
    EXPECT_EQ(iAmInstance(receive(socket, from)), 4711);
    EXPECT_EQ(simulator.command("requests 4711"), "0");

    const PacketCapture::Report report = capture.analyse();
    EXPECT_EQ(report.packets, 5u);
    EXPECT_EQ(report.bacnet, 5u);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_NE(report.problems[0].find("Confirmed-REQ"), std::string::npos) << report.problems[0];
}

TEST(BACnetPeerFixtures, ABroadcastOnNamespacesReachesEverySimulator)
{
    for (const std::string& missing : {BACnetDeviceSimulator::missing(), NetworkNamespace::missing()})
    {
        if (!missing.empty())
            GTEST_SKIP() << missing;
    }
    NetworkNamespace lan(3);
    const std::string members = R"(, "bind": "0.0.0.0:47808", "iAm": "broadcast", "broadcast": ")" +
                                lan.broadcastAddress() + R"(:47808")";
    BACnetDeviceSimulator first(site(101, members), BACnetDeviceSimulator::Site::TEXT,
                                BACnetDeviceSimulator::Options{"", lan.wrapper(1)});
    BACnetDeviceSimulator second(site(102, members), BACnetDeviceSimulator::Site::TEXT,
                                 BACnetDeviceSimulator::Options{"", lan.wrapper(2)});

    std::set<long> heard;
    std::set<std::string> senders;
    lan.runInside(0,
                  [&]
                  {
                      Poco::Net::DatagramSocket socket(Poco::Net::SocketAddress("0.0.0.0", 47808), true);
                      socket.setBroadcast(true);
                      socket.setReceiveTimeout(Poco::Timespan(5, 0));
                      send(socket, WHO_IS_BROADCAST, Poco::Net::SocketAddress(lan.broadcastAddress(), 47808));
                      Poco::Net::SocketAddress from;
                      while (heard.size() < 2)
                      {
                          const std::vector<unsigned char> datagram = receive(socket, from);
                          if (iAmInstance(datagram) > 0)
                          {
                              heard.insert(iAmInstance(datagram));
                              senders.insert(from.host().toString());
                          }
                      }
                  });
    EXPECT_EQ(heard, (std::set<long>{101, 102}));
    EXPECT_EQ(senders, (std::set<std::string>{lan.address(1), lan.address(2)}));
}
