#pragma once

#include "Orvik_BACnet/Clock.h"
#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnet/Codec/Bvll.h"
#include "Orvik_BACnet/Codec/Npdu.h"
#include "Orvik_BACnet/TransactionTable.h"
#include "Orvik_BACnetDevice/COVDelivery.h"
#include "Orvik_BACnetDevice/Site.h"

#include <Poco/Net/DatagramSocket.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Timestamp.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace Orvik::BACnet::Device::IP
{

class SegmentedTransfer;

/// The devices of a Site on BACnet/IP: every device of the local network (network number 0) on a UDP
/// socket of its own, answering like a real device. One thread receives, serves and runs the timers, so
/// a slow device (its delay) or a large answer never blocks the others.
///
/// What the devices answer:
///   - Who-Is (with or without limits) with I-Am, Who-Has (by object identifier or object-name) with
///     I-Have, from the device's own socket: to the asker, or to Settings::broadcast as a broadcast when
///     the request was one and a broadcast address is set. The sockets share one simulated LAN: a
///     broadcast that reaches any of them is heard by every device.
///   - ReadProperty, ReadPropertyMultiple, ReadRange, WriteProperty, SubscribeCOV and
///     SubscribeCOVProperty through Site::serve (errors with the standard classes and codes, faults,
///     silence). Other confirmed services: Reject unrecognized-service; service data that cannot be
///     read: Reject with the reason that fits. A segmented request: Abort segmentation-not-supported
///     (the requests the devices answer always fit one APDU).
///   - An answer larger than the requester's max APDU goes in segments, a window at a time, with the
///     segment time-out and retries, when the requester accepts segmented answers and the segments fit
///     its max-segments; otherwise Abort segmentation-not-supported or buffer-overflow. At most
///     Settings::maxTransfers segmented answers run at once; beyond them Abort out-of-resources.
///     Segment-ACKs of unknown transfers are ignored.
///   - COV notifications go to the subscriber's address: unconfirmed, or confirmed as a transaction of
///     a TransactionTable on Settings::clock (invoke ids per device and subscriber, the APDU time-out
///     and retries) until an answer comes (at most Settings::maxPendingNotifications are open; a
///     notification beyond them is dropped).
///   - Devices of other networks (`network` not 0) sit behind one simulated router on a socket of its
///     own: requests reach them with DNET/DADR (network number and MAC), their answers carry SNET/SADR,
///     a global Who-Is (DNET 65535) or a broadcast on their network reaches them,
///     Who-Is-Router-To-Network gets I-Am-Router-To-Network, and a message for a network the router
///     does not know gets Reject-Message-To-Network (no route). A network with a frame delay
///     (Site::getFrameDelayMs) is a slow shared link: the router queues what it passes there and hands
///     over one frame per frame delay, in order; the device's own delay follows.
/// Datagrams that cannot be read are dropped, and so is the device's share of lost ones (its drop rate;
/// behind the router: of the datagrams the router passes to it).
///
/// On a link of another's (Settings::send): the site's one device binds no socket. Its owner (the
/// gateway's BACnet/IP network, whose socket is the gateway's own device's address) hands the NPDUs for
/// the device to receive(), and the answers go out through Settings::send.
class SiteServer
{
public:
    class Settings
    {
    public:
        /// The address of the devices that the site file does not place (`bind` of a device).
        std::string bind = "127.0.0.1";
        /// True: every device without its own `bind` gets a free port of `bind`. False: a device whose
        /// site file MAC is a BACnet/IP address (a.b.c.d:port) is bound there.
        bool freePorts = true;
        /// Where broadcast I-Ams go; none: every I-Am goes to the asker.
        std::optional<Poco::Net::SocketAddress> broadcast;
        Poco::UInt32 apduTimeoutMs = 3000;
        Poco::UInt32 apduRetries = 3;
        Poco::UInt32 segmentTimeoutMs = 2000;
        /// Proposed window of segmented answers (1 to 127).
        Poco::UInt8 windowSize = 4;
        std::size_t maxTransfers = 64;
        std::size_t maxPendingNotifications = 256;
        /// What the confirmed COV notifications' time-outs run on; tests move a clock of their own.
        Clock* clock = &Clock::system();
        /// Set: the device is on a link of another's (see above), at `linkAddress`; this function sends
        /// a whole datagram there.
        std::function<void(const Poco::Net::SocketAddress& to, const Codec::Octets& datagram)> send;
        Poco::Net::SocketAddress linkAddress;
        /// False: another server of the same site moves it on (advance) and hands this one the COV
        /// notifications for its subscribers through deliver().
        bool advancesSite = true;
    };

    /// Where a device answers: its socket, or the router's with the device's network address.
    class Endpoint
    {
    public:
        Poco::UInt32 instance = 0;
        Poco::Net::SocketAddress address;
        /// Behind the router: the device's network number and MAC.
        std::optional<DataType::BACnetAddress> routed;
    };

    /// Binds every local device's socket; throws Poco::Net::NetException when one cannot be bound. On a
    /// link of another's, throws Poco::InvalidArgumentException unless the site has one device, on the
    /// local network.
    SiteServer(Site& site, const Settings& settings);
    ~SiteServer();
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    /// Starts serving on a thread of its own.
    void start();
    /// Stops serving; nothing is sent afterwards. Stopping a stopped server does nothing.
    void stop();

    const std::vector<Endpoint>& endpoints() const { return _endpoints; }
    /// The router's socket and the networks behind it; empty without routed devices.
    std::optional<Poco::Net::SocketAddress> routerAddress() const;
    std::vector<Poco::UInt16> routedNetworks() const;
    /// The changed value's COV notifications go out from the server's thread (Site::changeValue).
    void deliver(const std::vector<COVDelivery>& notifications);
    /// On a link of another's: an NPDU for the device arrived from `sender`, decoded by the link's owner,
    /// which keeps the network layer messages and what is on its way to another network (so a
    /// destination here is the global broadcast); served on the server's thread. Thread-safe.
    void receive(const Poco::Net::SocketAddress& sender, const Codec::Npdu::Message& npdu);

private:
    class Socket
    {
    public:
        Poco::UInt32 instance = 0;
        /// Sending changes no state of the server that a const Socket stands for.
        mutable Poco::Net::DatagramSocket socket;
        Poco::Net::SocketAddress address;
        /// The device's losses of received datagrams (Site::Presence::dropRate).
        double dropRate = 0.0;
        std::minstd_rand losses;
        /// The router's socket (no device of its own: instance 0).
        bool isRouter = false;
        /// A device behind the router: its network address; `socket` is the router's.
        std::optional<DataType::BACnetAddress> routed;
    };

    /// Where an answer goes: the sender's address and, for a routed requester, its network address.
    class Peer
    {
    public:
        Poco::Net::SocketAddress address;
        std::optional<DataType::BACnetAddress> remote;
    };

    /// A routed network that carries one frame at a time (Site::getFrameDelayMs).
    class Link
    {
    public:
        Poco::Timestamp::TimeDiff frameUs = 0;
        /// When the last frame handed to it has passed.
        Poco::Timestamp freeAt;
    };

    /// An APDU handed over on a link of another's.
    class Incoming
    {
    public:
        Peer peer;
        Codec::Octets apdu;
        bool broadcast = false;
    };

    /// A device's entry with its losses; the caller gives it its socket.
    static std::unique_ptr<Socket> deviceSocket(const Site::Presence& presence);
    void bindDevice(const Site::Presence& presence);
    void attachDevice(const Site::Presence& presence);
    /// Waits up to `wait` for the sockets, or on a link of another's for APDUs handed over.
    void waitForDatagrams(Poco::Timestamp::TimeDiff wait);
    void takeIncoming(Poco::Timestamp::TimeDiff wait);
    void addRoutedDevice(const Site::Presence& presence);
    Socket* findRouter();
    /// The devices a datagram at `socket` is for, and whether it is a broadcast; none when it is for
    /// the router itself or for no device here (a network message is answered on the way).
    std::vector<Socket*> targetsOf(Socket& socket, const Codec::Bvll::Message& bvll,
                                   const Codec::Npdu::Message& npdu, const Peer& peer, bool& broadcast);
    void handleNetworkMessage(Socket& router, const Codec::Npdu::Message& npdu, const Peer& peer);
    void sendNetworkMessage(const Socket& router, const Peer& peer,
                            const Codec::Npdu::NetworkMessage& message);
    void run();
    void receive(Socket& socket);
    /// True when the device loses the datagram on its way (its drop rate).
    static bool loses(Socket& device);
    void handle(Socket& socket, const Codec::Octets& datagram, const Poco::Net::SocketAddress& sender);
    /// Hands the APDU to the devices that hear it: at once, or behind a slow link when its frame has
    /// passed.
    void routeApdu(const std::vector<Socket*>& targets, const Peer& peer, Codec::OctetView apdu,
                   bool broadcast);
    /// Queues a frame on the link; returns when it reaches the devices.
    static Poco::Timestamp nextFrameEnd(Link& link);
    /// `single`: the datagram was addressed to one device.
    void handleApdu(const std::vector<Socket*>& targets, const Peer& peer, Codec::OctetView apduOctets,
                    bool broadcast, bool single);
    void serveApdu(const std::vector<Socket*>& targets, const Peer& peer, const Codec::Apdu::Message& apdu,
                   bool broadcast, bool single);
    void handleWhoIs(const std::vector<Socket*>& targets, const Peer& peer, const Codec::Apdu::Message& apdu,
                     bool broadcast);
    void handleWhoHas(const std::vector<Socket*>& targets, const Peer& peer, const Codec::Apdu::Message& apdu,
                      bool broadcast);
    /// Sends an unconfirmed answer (I-Am, I-Have) from the device after its delay: to the asker, or as
    /// a broadcast when the request was one and a broadcast address is set.
    void announce(Socket& socket, const Peer& peer, Poco::UInt8 service, const Codec::Octets& serviceData,
                  bool broadcast, Poco::UInt32 delayMs);
    void handleConfirmed(Socket& socket, const Peer& peer, const Codec::Apdu::Message& apdu);
    void answer(Poco::UInt32 instance, const Peer& peer, const Codec::Apdu::Header& request,
                const std::optional<ServiceReply>& reply);
    void watchTransfer(const std::string& key, Socket& socket, const Peer& peer);
    void handleSegmentAck(const Socket& socket, const Peer& peer, const Codec::Apdu::Header& header);
    void handleNotificationAnswer(const Socket& socket, const Peer& peer, const Codec::Apdu::Header& header);
    void abort(const Socket& socket, const Peer& peer, Poco::UInt8 invokeId, Poco::UInt8 reason);
    void reject(const Socket& socket, const Peer& peer, Poco::UInt8 invokeId, Poco::UInt8 reason);
    void sendApdu(const Socket& socket, const Peer& peer, const Codec::Octets& apdu,
                  bool expectingReply = false);
    void sendDatagram(const Socket& socket, const Poco::Net::SocketAddress& to,
                      const Codec::Octets& datagram);
    void sendNotification(const COVDelivery& delivery);
    /// The key of a device's notifications to one subscriber in _notifications (its space of invoke
    /// ids); empty for a pair that was never sent to, unless `create`.
    std::optional<Poco::UInt32> notificationKey(Poco::UInt32 instance, const Poco::Net::SocketAddress& peer,
                                                bool create);
    /// Until the next timer of the loop or of a notification, at most MAX_WAIT_US.
    Poco::Timestamp::TimeDiff microsecondsToNextTimer() const;
    void runTimers();
    void after(Poco::UInt32 milliseconds, std::function<void()> task);
    void at(const Poco::Timestamp& due, std::function<void()> task);
    void tick();
    Socket* socketOf(Poco::UInt32 instance);
    std::string transferKey(const Socket& socket, const Peer& peer, Poco::UInt8 invokeId) const;

    Site& _site;
    const Settings _settings;
    std::vector<std::unique_ptr<Socket>> _sockets;
    std::vector<Endpoint> _endpoints;
    /// The slow links by network number; the other routed networks pass frames at once.
    std::map<Poco::UInt16, Link> _links;
    std::multimap<Poco::Timestamp, std::function<void()>> _timers;
    std::map<std::string, std::unique_ptr<SegmentedTransfer>> _transfers;
    TransactionTable _notifications;
    Poco::UInt32 _lastNotification = 0;
    /// Device instance and subscriber ("instance/address") -> key in _notifications.
    std::map<std::string, Poco::UInt32> _notificationKeys;
    /// Guards what other threads hand over: notifications and, on a link of another's, APDUs.
    std::mutex _deliveryMutex;
    std::condition_variable _handedOver;
    std::vector<COVDelivery> _deliveries;
    std::deque<Incoming> _incoming;
    std::atomic<bool> _running{false};
    std::thread _thread;
};

}  // namespace Orvik::BACnet::Device::IP
