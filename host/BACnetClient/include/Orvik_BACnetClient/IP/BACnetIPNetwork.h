#pragma once

#include "Orvik_BACnet/Clock.h"
#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "Orvik_BACnet/TransactionTable.h"
#include "Orvik_BACnetClient/Network.h"

#include <Poco/Net/SocketAddress.h>
#include <Poco/Types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace Orvik::BACnet::Device
{
class Site;
}  // namespace Orvik::BACnet::Device

namespace Orvik::BACnet::Device::IP
{
class SiteServer;
}  // namespace Orvik::BACnet::Device::IP

namespace Orvik::BACnet::Client::Simulation
{
class SimulatedSite;
}  // namespace Orvik::BACnet::Client::Simulation

namespace Orvik::BACnet::Client::IP
{

class ClientTransport;
class LogRecordSizes;

/// A BACnet/IP network (see Network.h for what every network does): one UDP socket on the site's LAN,
/// with a receive thread and a timer thread of its own.
///
/// Devices and their addresses:
///   - A device is found by its I-Am: the network keeps its address (its own B/IP address, or the
///     router that answered for it with the device's network number and MAC), the largest APDU it
///     accepts, whether it segments, and its vendor. A request to a device that is not known yet first
///     sends a Who-Is limited to its instance (to every network) and waits for the I-Am within the APDU
///     time-out and its retries. Static bindings (Settings) stand for devices that cannot hear a
///     broadcast; a later I-Am from their address refreshes them.
///   - Two stations answering for one instance, or two routers claiming one network, are a fault of the
///     site: the first address or router stays and the other is logged once (logger "BACnetIP",
///     warning). The binding or route moves to the other only after it failed: a request through it
///     went unanswered after its retries, or its router refused the network; anything heard from it
///     again ends the failure. Static bindings never move.
///   - The table of devices is bounded (maxDevices): a flood of I-Ams pushes out the devices heard
///     longest ago, never a static one.
///   - At most transactions.maxOutstanding requests are outstanding per device on IP, and
///     maxOutstandingBehindRouter per device behind a router (field buses take one at a time). The
///     devices of one network behind a router share its slow link: at most maxOutstandingPerRouterNetwork
///     requests of all of them together (maxOutstandingOnNetwork for a network named there). The rest
///     wait (TransactionTable), without an APDU timer, and go out in the order they came as slots free.
///
/// Requests and answers:
///   - Confirmed requests say that a segmented answer is welcome, with maxSegments segments of up to
///     1476 octets. Segmented Complex-ACKs are taken with Segment-ACKs in the window the device
///     proposes; what comes in is bounded by the accepted segments and by maxReassemblyOctets over all
///     answers at once (beyond it the answer is aborted).
///   - An answer counts only when it comes from the address the request went to, with the request's
///     invoke id and, for ACKs and Errors, the request's service; everything else is dropped.
///   - No request goes out larger than the device's max APDU. A ReadPropertyMultiple is split into
///     smaller ones (down to one property each) when it does not fit, or when the device answers it
///     with segmentation-not-supported, an abort for buffer overflow or segmentation, or a reject; the
///     answers are merged into one. A ReadRange asks for no more records than fit into one unsegmented
///     answer, planned with the octets per record that the log's earlier answers took, and for half as
///     many when the device aborts it for its size. Any other request too large
///     for the device ends with abort-apdu-too-long.
///   - The gateway's own device (ownDevice, a site of one device) is a device of this station: a
///     Who-Is, Who-Has or confirmed request from the network that reaches the station is answered by
///     it (Device::IP::SiteServer on the station's socket), and the client's own requests for it are
///     answered locally (Simulation::SimulatedSite), never sent. A Who-Is of the client gets its I-Am
///     from both. Its COV notifications go to their subscribers: the client, or the address on the
///     network.
///   - Without ownDevice, a request for ownDeviceInstance ends at once with services /
///     optional-functionality-not-supported. An I-Am of ownDeviceInstance from the network is ignored
///     either way (the station's own answer to its broadcast, or a device in conflict with it).
///   - A router that answers a request with Reject-Message-To-Network ends the requests sent through it
///     to that network with communication / not-router-to-dnet (or router-busy, message-too-long,
///     unknown-route).
///   - Confirmed COV notifications are acknowledged with a Simple-ACK; unconfirmed ones are taken as
///     they come. Other confirmed requests are rejected (unrecognized-service), segmented ones aborted.
///
/// Broadcasts (Who-Is) go to the broadcast address, or, while registered as a foreign device with a
/// BBMD, to the BBMD as Distribute-Broadcast-To-Network. The registration is renewed at half its
/// time-to-live. A datagram that cannot be read at any layer is dropped. Everything runs on the given
/// clock.
class BACnetIPNetwork : public Network
{
public:
    /// A device that is reached without Who-Is.
    class StaticBinding
    {
    public:
        Poco::UInt32 deviceInstance = 0;
        /// The device's B/IP address, or the router's for a device on another network.
        Poco::Net::SocketAddress address;
        /// Network number and MAC of a device behind the router; without MAC (the default) the device
        /// itself is at `address`.
        DataType::BACnetAddress remote;
        /// Until an I-Am tells: 1476 on IP, 480 behind a router.
        std::optional<Poco::UInt32> maxApdu;
    };

    class Settings
    {
    public:
        /// The local address and UDP port; 0.0.0.0 listens on every interface, port 0 takes a free one.
        Poco::Net::SocketAddress local{"0.0.0.0", 47808};
        /// Where broadcasts go; empty: the broadcast address of the interface that has the local address
        /// (255.255.255.255 for 0.0.0.0), on the local port.
        std::optional<Poco::Net::SocketAddress> broadcast;
        /// Registers as a foreign device with this BBMD.
        std::optional<Poco::Net::SocketAddress> bbmd;
        Poco::UInt16 bbmdTimeToLiveSeconds = 300;
        /// APDU time-out, retries, segment time-out, outstanding requests per device on IP.
        TransactionTable::Settings transactions;
        Poco::UInt32 maxOutstandingBehindRouter = 1;
        /// Outstanding requests to all devices of one network behind a router together.
        Poco::UInt32 maxOutstandingPerRouterNetwork = 2;
        /// The same for the networks named here (network number -> limit).
        std::map<Poco::UInt16, Poco::UInt32> maxOutstandingOnNetwork;
        /// With ownDevice: its one device's instance, whatever is set here.
        std::optional<Poco::UInt32> ownDeviceInstance;
        /// The gateway's own device: a site of one device on the local network, which the network
        /// shares with whoever else holds it (tools that change its values).
        std::shared_ptr<Device::Site> ownDevice;
        std::vector<StaticBinding> staticBindings;
        std::size_t maxDevices = 4096;
        /// Segments accepted per answer: 2, 4, 8, 16, 32 or 64.
        std::uint8_t maxSegments = 64;
        std::size_t maxReassemblyOctets = 4 * 1024 * 1024;
    };

    /// Binds the local address at once: throws Poco::Net::NetException (or Poco::IOException) when it
    /// cannot be bound, Poco::InvalidArgumentException when no interface has it or ownDevice is not one
    /// device on the local network. `clock` (not owned) must outlive the network.
    explicit BACnetIPNetwork(const Settings& settings, Clock& clock = Clock::system());
    ~BACnetIPNetwork() override;

    BACnetIPNetwork(const BACnetIPNetwork&) = delete;
    BACnetIPNetwork& operator=(const BACnetIPNetwork&) = delete;

    const Settings& getSettings() const { return _settings; }
    /// The bound local address (with the port taken when the settings asked for port 0); not after
    /// close().
    Poco::Net::SocketAddress localAddress() const;
    /// The broadcast address in use.
    Poco::Net::SocketAddress broadcastAddress() const;

    // ---- Network --------------------------------------------------------------------------------------

    /// Starts the threads (binding the local address again after a close(), which may throw as the
    /// constructor does).
    void open(NetworkListener& listener) override;
    void close() override;
    void sendWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                   Poco::UInt32 highLimit) override;
    void sendReadProperty(Poco::UInt32 transactionId, const DataPropertyKey& key) override;
    void sendReadPropertyMultiple(Poco::UInt32 transactionId, Poco::UInt32 deviceInstance,
                                  const std::vector<NotificationRequestRPM::Parameter>& parameters) override;
    void sendReadRange(Poco::UInt32 transactionId, const DataPropertyKey& key,
                       const ReadRange::Range& range) override;
    void sendWriteProperty(Poco::UInt32 transactionId, const DataPropertyKey& key, Poco::UInt32 priority,
                           const ValueContainer& value) override;
    void sendSubscribeCOV(Poco::UInt32 transactionId, const DataPropertyKey& key,
                          const NotificationRequestSubscribeCOV::Parameters& parameters) override;
    void endTransaction(Poco::UInt32 transactionId) override;

private:
    static Settings withOwnDevice(Settings settings);
    bool isOwn(Poco::UInt32 deviceInstance) const;
    void serveOwnDevice();

    const Settings _settings;
    /// What the trend logs' records take, for the ReadRange requests; used under the transport's lock,
    /// and shared with the requests, whose answers may be read after the network is gone.
    std::shared_ptr<LogRecordSizes> _pRecordSizes;
    std::unique_ptr<ClientTransport> _pTransport;
    /// With ownDevice: the client's requests for it, and the network's.
    std::unique_ptr<Simulation::SimulatedSite> _pOwnDevice;
    std::unique_ptr<Device::IP::SiteServer> _pOwnDeviceServer;
};

}  // namespace Orvik::BACnet::Client::IP
