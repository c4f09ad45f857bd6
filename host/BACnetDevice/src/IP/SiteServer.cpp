#include "Orvik_BACnetDevice/IP/SiteServer.h"

#include "Orvik_BACnet/Codec/COVNotification.h"
#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/IAm.h"
#include "Orvik_BACnet/Codec/WhoIs.h"
#include "Orvik_BACnetDevice/IP/BvllEndpoint.h"
#include "Orvik_BACnetDevice/ServiceCoding.h"
#include "SegmentedTransfer.h"

#include <Poco/Net/NetException.h>

#include <algorithm>

namespace Orvik::BACnet::Device::IP
{

namespace
{

/// The header of a segmented Complex-ACK: what a segment's service data leaves of the max APDU.
constexpr std::size_t SEGMENT_HEADER_SIZE = 5;
/// The longest wait of the loop, so that stop() is noticed soon.
constexpr Poco::Timestamp::TimeDiff MAX_WAIT_US = 100000;
/// Delayed answers waiting at once; beyond them requests are dropped (a flood of requests or Who-Is to
/// a slow device).
constexpr std::size_t MAX_TIMERS = 4096;

TransactionTable::Settings notificationSettings(const SiteServer::Settings& settings)
{
    TransactionTable::Settings table;
    table.apduTimeoutMs = settings.apduTimeoutMs;
    table.apduRetries = settings.apduRetries;
    table.maxOutstanding = 256;  // every invoke id of a device and subscriber
    table.maxOpen = settings.maxPendingNotifications;
    return table;
}

/// The max-segments field as a number of segments (0, unspecified: as many as a window of 64 needs).
std::size_t segmentsAccepted(std::uint8_t maxSegments)
{
    if (maxSegments == 0 || maxSegments == Codec::Apdu::_MORE_THAN_64_SEGMENTS)
        return maxSegments == 0 ? 64 : 255;
    return maxSegments;
}

}  // namespace

SiteServer::SiteServer(Site& site, const Settings& settings)
    : _site(site), _settings(settings), _notifications(notificationSettings(settings), *settings.clock)
{
    const std::vector<Poco::UInt32> instances = _site.getDeviceInstances();
    if (_settings.send && instances.size() != 1)
        throw Poco::InvalidArgumentException("A site on a link of another's has one device, not " +
                                             std::to_string(instances.size()));
    for (Poco::UInt32 instance : instances)
    {
        const std::optional<Site::Presence> presence = _site.presenceOf(instance);
        if (_settings.send)
            attachDevice(*presence);
        else if (presence->address.getNetworkNumber() != 0)
            addRoutedDevice(*presence);
        else
            bindDevice(*presence);
    }
}

void SiteServer::addRoutedDevice(const Site::Presence& presence)
{
    Socket* pRouter = findRouter();
    if (pRouter == nullptr)
    {
        auto pSocket = std::make_unique<Socket>();
        pSocket->isRouter = true;
        pSocket->socket.bind(Poco::Net::SocketAddress(_settings.bind, 0), true);
        pSocket->socket.setBroadcast(_settings.broadcast.has_value());  // broadcast I-Ams
        pSocket->address = pSocket->socket.address();
        pRouter = pSocket.get();
        _sockets.push_back(std::move(pSocket));
    }
    std::unique_ptr<Socket> pDevice = deviceSocket(presence);
    pDevice->socket = pRouter->socket;  // one socket, shared with the router
    pDevice->address = pRouter->address;
    pDevice->routed = presence.address;
    const Poco::UInt16 network = presence.address.getNetworkNumber();
    if (const Poco::UInt32 frameDelayMs = _site.getFrameDelayMs(network))
        _links[network].frameUs = static_cast<Poco::Timestamp::TimeDiff>(frameDelayMs) * 1000;
    _endpoints.push_back(Endpoint{pDevice->instance, pDevice->address, presence.address});
    _sockets.push_back(std::move(pDevice));
}

std::optional<Poco::Net::SocketAddress> SiteServer::routerAddress() const
{
    for (const auto& pSocket : _sockets)
    {
        if (pSocket->isRouter)
            return pSocket->address;
    }
    return std::nullopt;
}

SiteServer::Socket* SiteServer::findRouter()
{
    for (const auto& pSocket : _sockets)
    {
        if (pSocket->isRouter)
            return pSocket.get();
    }
    return nullptr;
}

std::vector<Poco::UInt16> SiteServer::routedNetworks() const
{
    std::vector<Poco::UInt16> networks;
    for (const auto& pSocket : _sockets)
    {
        if (pSocket->routed && std::find(networks.begin(), networks.end(),
                                         pSocket->routed->getNetworkNumber()) == networks.end())
            networks.push_back(pSocket->routed->getNetworkNumber());
    }
    return networks;
}

SiteServer::~SiteServer()
{
    stop();
}

void SiteServer::bindDevice(const Site::Presence& presence)
{
    Poco::Net::SocketAddress address(_settings.bind, 0);
    if (!presence.bind.empty())
        address = presence.bind.find(':') == std::string::npos ? Poco::Net::SocketAddress(presence.bind, 0)
                                                               : Poco::Net::SocketAddress(presence.bind);
    else if (!_settings.freePorts && presence.address.getMACLength() == 6)
        address = BvllEndpoint::socketAddressOf(Codec::Bvll::Endpoint::fromAddress(presence.address));
    std::unique_ptr<Socket> pSocket = deviceSocket(presence);
    pSocket->socket.bind(address, true);
    pSocket->socket.setBroadcast(_settings.broadcast.has_value());  // broadcast I-Ams
    pSocket->address = pSocket->socket.address();
    _endpoints.push_back(Endpoint{pSocket->instance, pSocket->address, std::nullopt});
    _sockets.push_back(std::move(pSocket));
}

std::unique_ptr<SiteServer::Socket> SiteServer::deviceSocket(const Site::Presence& presence)
{
    auto pSocket = std::make_unique<Socket>();
    pSocket->instance = presence.iAm.deviceIdentifier.getInstance();
    pSocket->dropRate = presence.dropRate;
    pSocket->losses.seed(presence.seed);
    return pSocket;
}

void SiteServer::attachDevice(const Site::Presence& presence)
{
    if (presence.address.getNetworkNumber() != 0)
        throw Poco::InvalidArgumentException("A device on a link of another's is on the local network");
    auto pSocket = std::make_unique<Socket>();
    pSocket->instance = presence.iAm.deviceIdentifier.getInstance();
    pSocket->address = _settings.linkAddress;
    _endpoints.push_back(Endpoint{pSocket->instance, pSocket->address, std::nullopt});
    _sockets.push_back(std::move(pSocket));
}

void SiteServer::start()
{
    if (_running.exchange(true))
        return;
    if (_settings.advancesSite)
        after(_site.getTickMs(), [this] { tick(); });
    _thread = std::thread([this] { run(); });
}

void SiteServer::stop()
{
    if (!_running.exchange(false))
        return;
    _thread.join();
}

void SiteServer::deliver(const std::vector<COVDelivery>& notifications)
{
    std::lock_guard<std::mutex> lock(_deliveryMutex);
    _deliveries.insert(_deliveries.end(), notifications.begin(), notifications.end());
    _handedOver.notify_one();
}

void SiteServer::receive(const Poco::Net::SocketAddress& sender, const Codec::Npdu::Message& npdu)
{
    Incoming incoming;
    incoming.peer.address = sender;
    if (npdu.header.hasSource)
        incoming.peer.remote = npdu.header.source;
    incoming.apdu.assign(npdu.payload.data, npdu.payload.data + npdu.payload.size);
    incoming.broadcast = npdu.header.hasDestination;
    std::lock_guard<std::mutex> lock(_deliveryMutex);
    if (_incoming.size() >= MAX_TIMERS)
        return;  // a flood: dropped, as a full socket buffer would
    _incoming.push_back(std::move(incoming));
    _handedOver.notify_one();
}

// ---- the server's thread ------------------------------------------------------------------------------

void SiteServer::run()
{
    while (_running)
    {
        waitForDatagrams(microsecondsToNextTimer());
        std::vector<COVDelivery> deliveries;
        {
            std::lock_guard<std::mutex> lock(_deliveryMutex);
            deliveries.swap(_deliveries);
        }
        for (const COVDelivery& delivery : deliveries)
            sendNotification(delivery);
        runTimers();
    }
}

void SiteServer::waitForDatagrams(Poco::Timestamp::TimeDiff wait)
{
    if (_settings.send)
        return takeIncoming(wait);
    Poco::Net::Socket::SocketList readable;
    for (const auto& pSocket : _sockets)
    {
        if (!pSocket->routed)
            readable.push_back(pSocket->socket);
    }
    if (readable.empty())
        return std::this_thread::sleep_for(std::chrono::microseconds(wait));
    Poco::Net::Socket::SocketList writable, failed;
    if (Poco::Net::Socket::select(readable, writable, failed, Poco::Timespan(wait)) <= 0)
        return;
    for (const auto& pSocket : _sockets)
    {
        if (!pSocket->routed &&
            std::find(readable.begin(), readable.end(), pSocket->socket) != readable.end())
            receive(*pSocket);
    }
}

void SiteServer::takeIncoming(Poco::Timestamp::TimeDiff wait)
{
    std::deque<Incoming> incoming;
    {
        std::unique_lock<std::mutex> lock(_deliveryMutex);
        _handedOver.wait_for(lock, std::chrono::microseconds(wait),
                             [this] { return !_incoming.empty() || !_deliveries.empty(); });
        incoming.swap(_incoming);
    }
    for (const Incoming& apdu : incoming)
    {
        try
        {
            handleApdu({_sockets.front().get()}, apdu.peer, apdu.apdu, apdu.broadcast, !apdu.broadcast);
        }
        catch (const Poco::Exception&)
        {
            // An APDU that cannot be answered (an IPv6 sender) is dropped.
        }
    }
}

void SiteServer::receive(Socket& socket)
{
    Codec::Octets datagram(Codec::Bvll::_MAX_DATAGRAM + 1);
    Poco::Net::SocketAddress sender;
    int received = 0;
    try
    {
        received = socket.socket.receiveFrom(datagram.data(), static_cast<int>(datagram.size()), sender);
    }
    catch (const Poco::Exception&)
    {
        return;  // an ICMP error of an earlier send; nothing to read
    }
    if (received <= 0)
        return;
    if (loses(socket))
        return;  // lost on the way
    datagram.resize(static_cast<std::size_t>(received));
    try
    {
        handle(socket, datagram, sender);
    }
    catch (const Poco::Exception&)
    {
        // A datagram that cannot be read (Codec::DecodeError) or answered (an IPv6 sender) is dropped.
    }
}

bool SiteServer::loses(Socket& device)
{
    return device.dropRate > 0.0 &&
           std::uniform_real_distribution<double>(0.0, 1.0)(device.losses) < device.dropRate;
}

void SiteServer::handle(Socket& socket, const Codec::Octets& datagram, const Poco::Net::SocketAddress& sender)
{
    const Codec::Bvll::Message bvll = Codec::Bvll::decode(datagram);
    if (!bvll.carriesNpdu() || bvll.function == Codec::Bvll::DISTRIBUTE_BROADCAST_TO_NETWORK)
        return;
    const Codec::Npdu::Message npdu = Codec::Npdu::decode(bvll.payload);
    Peer peer;
    peer.address = bvll.function == Codec::Bvll::FORWARDED_NPDU
                       ? BvllEndpoint::socketAddressOf(bvll.originalSource)
                       : sender;
    if (npdu.header.hasSource)
        peer.remote = npdu.header.source;
    bool broadcast = false;
    std::vector<Socket*> targets = targetsOf(socket, bvll, npdu, peer, broadcast);
    if (npdu.header.isNetworkMessage)
        return;
    // The router's socket loses nothing itself: each device behind it loses its own share.
    targets.erase(std::remove_if(targets.begin(), targets.end(),
                                 [](Socket* pTarget) { return pTarget->routed && loses(*pTarget); }),
                  targets.end());
    if (!targets.empty())
        routeApdu(targets, peer, npdu.payload, broadcast);
}

void SiteServer::routeApdu(const std::vector<Socket*>& targets, const Peer& peer, Codec::OctetView apdu,
                           bool broadcast)
{
    const bool single = targets.size() == 1 && !broadcast;
    std::map<Poco::UInt16, std::vector<Socket*>> onSlowLinks;
    std::vector<Socket*> atOnce;
    for (Socket* pTarget : targets)
    {
        if (pTarget->routed && _links.count(pTarget->routed->getNetworkNumber()) > 0)
            onSlowLinks[pTarget->routed->getNetworkNumber()].push_back(pTarget);
        else
            atOnce.push_back(pTarget);
    }
    if (!atOnce.empty())
        handleApdu(atOnce, peer, apdu, broadcast, single);
    for (const auto& [network, hearing] : onSlowLinks)
    {
        if (_timers.size() >= MAX_TIMERS)
            return;  // the router's queue is full: dropped
        at(nextFrameEnd(_links.at(network)),
           [this, hearing = hearing, peer, octets = Codec::Octets(apdu.data, apdu.data + apdu.size),
            broadcast, single] { handleApdu(hearing, peer, octets, broadcast, single); });
    }
}

Poco::Timestamp SiteServer::nextFrameEnd(Link& link)
{
    link.freeAt = std::max(link.freeAt, Poco::Timestamp()) + link.frameUs;
    return link.freeAt;
}

void SiteServer::handleApdu(const std::vector<Socket*>& targets, const Peer& peer,
                            Codec::OctetView apduOctets, bool broadcast, bool single)
{
    try
    {
        serveApdu(targets, peer, Codec::Apdu::decode(apduOctets), broadcast, single);
    }
    catch (const Codec::DecodeError&)
    {
        // An APDU that cannot be read is dropped (also one that waited for a slow link).
    }
}

void SiteServer::serveApdu(const std::vector<Socket*>& targets, const Peer& peer,
                           const Codec::Apdu::Message& apdu, bool broadcast, bool single)
{
    Socket& target = *targets.front();
    switch (apdu.header.type)
    {
        case Codec::Apdu::UNCONFIRMED_REQUEST:
            if (apdu.header.serviceChoice == SERVICE_UNCONFIRMED_WHO_IS)
                handleWhoIs(targets, peer, apdu, broadcast);
            else if (apdu.header.serviceChoice == Codec::WhoHas::_SERVICE)
                handleWhoHas(targets, peer, apdu, broadcast);
            break;
        case Codec::Apdu::CONFIRMED_REQUEST:
            if (single)
                handleConfirmed(target, peer, apdu);
            break;
        case Codec::Apdu::SEGMENT_ACK:
            if (single)
                handleSegmentAck(target, peer, apdu.header);
            break;
        case Codec::Apdu::SIMPLE_ACK:
        case Codec::Apdu::ERROR:
        case Codec::Apdu::REJECT:
            if (single)
                handleNotificationAnswer(target, peer, apdu.header);
            break;
        case Codec::Apdu::ABORT:
            if (!single)
                break;
            _transfers.erase(transferKey(target, peer, apdu.header.invokeId));
            handleNotificationAnswer(target, peer, apdu.header);
            break;
        default:
            break;
    }
}

std::vector<SiteServer::Socket*> SiteServer::targetsOf(Socket& socket, const Codec::Bvll::Message& bvll,
                                                       const Codec::Npdu::Message& npdu, const Peer& peer,
                                                       bool& broadcast)
{
    std::vector<Socket*> targets;
    const auto addIf = [&](const auto& accept)
    {
        for (const auto& pSocket : _sockets)
        {
            if (!pSocket->isRouter && accept(*pSocket))
                targets.push_back(pSocket.get());
        }
    };
    const Codec::Npdu::Header& header = npdu.header;
    if (!header.hasDestination)
    {
        // On the simulated LAN: a broadcast reaches every local device, a unicast the device it was sent to.
        broadcast = bvll.function != Codec::Bvll::ORIGINAL_UNICAST_NPDU;
        Socket* pRouter = findRouter();
        if (header.isNetworkMessage && pRouter != nullptr && (socket.isRouter || broadcast))
            handleNetworkMessage(*pRouter, npdu, peer);
        if (broadcast)
            addIf([](const Socket& s) { return !s.routed; });
        else if (!socket.isRouter)
            targets.push_back(&socket);
        return targets;
    }
    const Poco::UInt16 network = header.destination.getNetworkNumber();
    broadcast = network == 0xFFFF || header.destination.getMACLength() == 0;
    if (network == 0xFFFF)
    {
        addIf([](const Socket&) { return true; });
        return targets;
    }
    if (!socket.isRouter)
        return targets;  // a router's business
    addIf(
        [&](const Socket& s)
        {
            return s.routed && s.routed->getNetworkNumber() == network &&
                   (broadcast || *s.routed == header.destination);
        });
    const std::vector<Poco::UInt16> networks = routedNetworks();
    if (std::find(networks.begin(), networks.end(), network) == networks.end())
    {
        Codec::Npdu::NetworkMessage reject;
        reject.type = Codec::Npdu::REJECT_MESSAGE_TO_NETWORK;
        reject.rejectReason = Codec::Npdu::REJECT_NO_ROUTE;
        reject.hasNetwork = true;
        reject.network = network;
        sendNetworkMessage(socket, peer, reject);
    }
    return targets;
}

void SiteServer::handleNetworkMessage(Socket& router, const Codec::Npdu::Message& npdu, const Peer& peer)
{
    if (npdu.header.messageType != Codec::Npdu::WHO_IS_ROUTER_TO_NETWORK)
        return;
    const Codec::Npdu::NetworkMessage whoIsRouter = Codec::Npdu::decodeNetworkMessage(npdu);
    const std::vector<Poco::UInt16> networks = routedNetworks();
    if (whoIsRouter.hasNetwork &&
        std::find(networks.begin(), networks.end(), whoIsRouter.network) == networks.end())
        return;
    Codec::Npdu::NetworkMessage iAmRouter;
    iAmRouter.type = Codec::Npdu::I_AM_ROUTER_TO_NETWORK;
    iAmRouter.networks = networks;
    sendNetworkMessage(router, peer, iAmRouter);
}

void SiteServer::sendNetworkMessage(const Socket& router, const Peer& peer,
                                    const Codec::Npdu::NetworkMessage& message)
{
    Codec::Npdu::Header header;
    if (peer.remote)
    {
        header.hasDestination = true;
        header.destination = *peer.remote;
    }
    const Codec::Octets npdu = Codec::Npdu::encodeNetworkMessage(header, message);
    Codec::Bvll::Message bvll;
    bvll.function = Codec::Bvll::ORIGINAL_UNICAST_NPDU;
    bvll.payload = npdu;
    sendDatagram(router, peer.address, Codec::Bvll::encode(bvll));
}

void SiteServer::handleWhoIs(const std::vector<Socket*>& targets, const Peer& peer,
                             const Codec::Apdu::Message& apdu, bool broadcast)
{
    const Codec::WhoIs whoIs = Codec::WhoIs::decode(apdu.serviceData);
    for (Socket* pHearing : targets)
    {
        const std::optional<Site::Presence> presence = _site.presenceOf(pHearing->instance);
        if (!presence || presence->silent || !whoIs.covers(pHearing->instance))
            continue;
        announce(*pHearing, peer, SERVICE_UNCONFIRMED_I_AM, presence->iAm.encode(), broadcast,
                 presence->delayMs);
    }
}

void SiteServer::handleWhoHas(const std::vector<Socket*>& targets, const Peer& peer,
                              const Codec::Apdu::Message& apdu, bool broadcast)
{
    const Codec::WhoHas whoHas = Codec::WhoHas::decode(apdu.serviceData);
    for (Socket* pHearing : targets)
    {
        const std::optional<Codec::WhoHas::IHave> iHave = _site.whoHas(pHearing->instance, whoHas);
        const std::optional<Site::Presence> presence = _site.presenceOf(pHearing->instance);
        if (iHave && presence)
            announce(*pHearing, peer, Codec::WhoHas::_I_HAVE_SERVICE, iHave->encode(), broadcast,
                     presence->delayMs);
    }
}

void SiteServer::announce(Socket& socket, const Peer& peer, Poco::UInt8 service,
                          const Codec::Octets& serviceData, bool broadcast, Poco::UInt32 delayMs)
{
    if (_timers.size() >= MAX_TIMERS)
        return;  // a flood of Who-Is: the answers already waiting are enough
    Codec::Apdu::Header header;
    header.type = Codec::Apdu::UNCONFIRMED_REQUEST;
    header.serviceChoice = service;
    const Codec::Octets apdu = Codec::Apdu::encode(header, serviceData);
    Socket* pSocket = &socket;
    after(delayMs,
          [this, pSocket, peer, apdu, broadcast]
          {
              if (!broadcast || !_settings.broadcast)
                  return sendApdu(*pSocket, peer, apdu);
              Codec::Npdu::Header header;
              header.hasSource = pSocket->routed.has_value();
              if (pSocket->routed)
                  header.source = *pSocket->routed;
              const Codec::Octets npdu = Codec::Npdu::encode(header, apdu);
              Codec::Bvll::Message bvll;
              bvll.function = Codec::Bvll::ORIGINAL_BROADCAST_NPDU;
              bvll.payload = npdu;
              sendDatagram(*pSocket, *_settings.broadcast, Codec::Bvll::encode(bvll));
          });
}

void SiteServer::handleConfirmed(Socket& socket, const Peer& peer, const Codec::Apdu::Message& apdu)
{
    const Codec::Apdu::Header& header = apdu.header;
    if (header.segmented)
        return abort(socket, peer, header.invokeId, ABORT_REASON_SEGMENTATION_NOT_SUPPORTED);
    if (!ServiceCoding::isServed(header.serviceChoice))
        return reject(socket, peer, header.invokeId, REJECT_REASON_UNRECOGNIZED_SERVICE);
    std::optional<ServiceRequest> request;
    try
    {
        request = ServiceCoding::decodeRequest(header.serviceChoice, apdu.serviceData);
    }
    catch (const Codec::DecodeError& e)
    {
        return reject(socket, peer, header.invokeId, ServiceCoding::rejectReasonOf(e));
    }
    const std::optional<Site::Presence> presence = _site.presenceOf(socket.instance);
    if (_timers.size() >= MAX_TIMERS)
        return;  // too much waiting already: dropped, the requester retries
    const Poco::UInt32 instance = socket.instance;
    const DataType::BACnetAddress requester = BvllEndpoint::of(peer.address).toAddress();
    after(presence ? presence->delayMs : 0,
          [this, instance, peer, header, request = std::move(*request), requester]
          {
              Site::Served served = _site.serve(instance, request, requester, Poco::Timestamp());
              answer(instance, peer, header, served.reply);
              for (const COVDelivery& delivery : served.notifications)
                  sendNotification(delivery);
          });
}

void SiteServer::answer(Poco::UInt32 instance, const Peer& peer, const Codec::Apdu::Header& request,
                        const std::optional<ServiceReply>& reply)
{
    Socket* pSocket = socketOf(instance);
    if (!reply || pSocket == nullptr)
        return;
    const ServiceCoding::EncodedReply encoded = ServiceCoding::encodeReply(*reply, request.serviceChoice);
    Codec::Apdu::Header header;
    header.type = encoded.type;
    header.invokeId = request.invokeId;
    header.serviceChoice = request.serviceChoice;
    const std::size_t maxApdu = std::min<std::size_t>(request.maxApdu, Codec::Apdu::_MAX_APDU_IP);
    if (Codec::Apdu::headerSize(header) + encoded.serviceData.size() <= maxApdu)
        return sendApdu(*pSocket, peer, Codec::Apdu::encode(header, encoded.serviceData));

    const std::size_t segmentSize = maxApdu - SEGMENT_HEADER_SIZE;
    const std::optional<Site::Presence> presence = _site.presenceOf(instance);
    const bool deviceSegments = presence && presence->iAm.segmentation != SEGMENTATION_NO_SEGMENTATION;
    if (!request.segmentedResponseAccepted || !deviceSegments)
        return abort(*pSocket, peer, request.invokeId, ABORT_REASON_SEGMENTATION_NOT_SUPPORTED);
    if (SegmentedTransfer::countSegments(encoded.serviceData.size(), segmentSize) >
        segmentsAccepted(request.maxSegments))
        return abort(*pSocket, peer, request.invokeId, ABORT_REASON_BUFFER_OVERFLOW);
    const std::string key = transferKey(*pSocket, peer, request.invokeId);
    if (_transfers.size() >= _settings.maxTransfers && _transfers.count(key) == 0)
        return abort(*pSocket, peer, request.invokeId, ABORT_REASON_OUT_OF_RESOURCES);
    auto pTransfer =
        std::make_unique<SegmentedTransfer>(request.invokeId, request.serviceChoice, encoded.serviceData,
                                            segmentSize, _settings.windowSize, _settings.apduRetries);
    pTransfer->due =
        Poco::Timestamp() + static_cast<Poco::Timestamp::TimeDiff>(_settings.segmentTimeoutMs) * 1000;
    for (const Codec::Octets& segment : pTransfer->window())
        sendApdu(*pSocket, peer, segment);
    _transfers[key] = std::move(pTransfer);
    after(_settings.segmentTimeoutMs, [this, key, pSocket, peer] { watchTransfer(key, *pSocket, peer); });
}

void SiteServer::watchTransfer(const std::string& key, Socket& socket, const Peer& peer)
{
    auto it = _transfers.find(key);
    if (it == _transfers.end())
        return;
    const Poco::Timestamp now;
    if (now < it->second->due)
    {
        const auto wait = static_cast<Poco::UInt32>((it->second->due - now) / 1000) + 1;
        return after(wait, [this, key, &socket, peer] { watchTransfer(key, socket, peer); });
    }
    if (!it->second->retry())
    {
        _transfers.erase(it);  // the requester is gone
        return;
    }
    it->second->due = now + static_cast<Poco::Timestamp::TimeDiff>(_settings.segmentTimeoutMs) * 1000;
    for (const Codec::Octets& segment : it->second->window())
        sendApdu(socket, peer, segment);
    after(_settings.segmentTimeoutMs, [this, key, &socket, peer] { watchTransfer(key, socket, peer); });
}

void SiteServer::handleSegmentAck(const Socket& socket, const Peer& peer, const Codec::Apdu::Header& header)
{
    auto it = _transfers.find(transferKey(socket, peer, header.invokeId));
    if (it == _transfers.end() || header.server)
        return;  // no such transfer: nothing to do
    switch (it->second->acknowledge(header.sequenceNumber, header.negativeAck, header.windowSize))
    {
        case SegmentedTransfer::Progress::IGNORED:
            return;
        case SegmentedTransfer::Progress::DONE:
            _transfers.erase(it);
            return;
        case SegmentedTransfer::Progress::SEND:
            it->second->due =
                Poco::Timestamp() + static_cast<Poco::Timestamp::TimeDiff>(_settings.segmentTimeoutMs) * 1000;
            for (const Codec::Octets& segment : it->second->window())
                sendApdu(socket, peer, segment);
            return;
    }
}

void SiteServer::handleNotificationAnswer(const Socket& socket, const Peer& peer,
                                          const Codec::Apdu::Header& header)
{
    if (const std::optional<Poco::UInt32> key = notificationKey(socket.instance, peer.address, false))
        _notifications.complete(*key, header.invokeId);
}

void SiteServer::abort(const Socket& socket, const Peer& peer, Poco::UInt8 invokeId, Poco::UInt8 reason)
{
    Codec::Apdu::Header header;
    header.type = Codec::Apdu::ABORT;
    header.server = true;
    header.invokeId = invokeId;
    header.serviceChoice = reason;
    sendApdu(socket, peer, Codec::Apdu::encode(header));
}

void SiteServer::reject(const Socket& socket, const Peer& peer, Poco::UInt8 invokeId, Poco::UInt8 reason)
{
    Codec::Apdu::Header header;
    header.type = Codec::Apdu::REJECT;
    header.invokeId = invokeId;
    header.serviceChoice = reason;
    sendApdu(socket, peer, Codec::Apdu::encode(header));
}

void SiteServer::sendApdu(const Socket& socket, const Peer& peer, const Codec::Octets& apdu,
                          bool expectingReply)
{
    Codec::Npdu::Header npdu;
    npdu.expectingReply = expectingReply;
    if (socket.routed)
    {
        npdu.hasSource = true;
        npdu.source = *socket.routed;
    }
    if (peer.remote)
    {
        npdu.hasDestination = true;
        npdu.destination = *peer.remote;
    }
    const Codec::Octets npduOctets = Codec::Npdu::encode(npdu, apdu);
    Codec::Bvll::Message bvll;
    bvll.function = Codec::Bvll::ORIGINAL_UNICAST_NPDU;
    bvll.payload = npduOctets;
    sendDatagram(socket, peer.address, Codec::Bvll::encode(bvll));
}

void SiteServer::sendDatagram(const Socket& socket, const Poco::Net::SocketAddress& to,
                              const Codec::Octets& datagram)
{
    try
    {
        if (_settings.send)
            _settings.send(to, datagram);
        else
            socket.socket.sendTo(datagram.data(), static_cast<int>(datagram.size()), to);
    }
    catch (const Poco::Exception&)
    {
        // Nobody there (any more): like a datagram lost on the way.
    }
}

void SiteServer::sendNotification(const COVDelivery& delivery)
{
    Socket* pSocket = socketOf(delivery.notification.initiatingDeviceIdentifier.getInstance());
    if (pSocket == nullptr || delivery.subscriber.getMACLength() != 6)
        return;
    Peer peer;
    peer.address = BvllEndpoint::socketAddressOf(Codec::Bvll::Endpoint::fromAddress(delivery.subscriber));
    Codec::Apdu::Header header;
    const Codec::Octets serviceData = delivery.notification.encode();
    if (!delivery.confirmed)
    {
        header.type = Codec::Apdu::UNCONFIRMED_REQUEST;
        header.serviceChoice = Codec::COVNotification::_UNCONFIRMED_SERVICE;
        return sendApdu(*pSocket, peer, Codec::Apdu::encode(header, serviceData));
    }
    header.type = Codec::Apdu::CONFIRMED_REQUEST;
    header.serviceChoice = Codec::COVNotification::_CONFIRMED_SERVICE;
    const auto transmit = [this, pSocket, peer, header, serviceData](Poco::UInt8 invokeId) mutable
    {
        header.invokeId = invokeId;
        sendApdu(*pSocket, peer, Codec::Apdu::encode(header, serviceData), true);
    };
    try
    {
        _notifications.open(++_lastNotification, *notificationKey(pSocket->instance, peer.address, true),
                            transmit);
    }
    catch (const Poco::PoolOverflowException&)
    {
        // Enough notifications wait for their answers already: this one is dropped.
    }
}

std::optional<Poco::UInt32> SiteServer::notificationKey(Poco::UInt32 instance,
                                                        const Poco::Net::SocketAddress& peer, bool create)
{
    const std::string name = std::to_string(instance) + "/" + peer.toString();
    auto it = _notificationKeys.find(name);
    if (it != _notificationKeys.end())
        return it->second;
    if (!create)
        return std::nullopt;
    const auto key = static_cast<Poco::UInt32>(_notificationKeys.size());
    _notificationKeys.emplace(name, key);
    return key;
}

void SiteServer::runTimers()
{
    const Poco::Timestamp now;
    while (!_timers.empty() && _timers.begin()->first <= now)
    {
        std::function<void()> task = std::move(_timers.begin()->second);
        _timers.erase(_timers.begin());
        task();
    }
    _notifications.expire();  // a notification without an answer after its retries is dropped
}

Poco::Timestamp::TimeDiff SiteServer::microsecondsToNextTimer() const
{
    Poco::Timestamp::TimeDiff wait = MAX_WAIT_US;
    if (!_timers.empty())
        wait = std::clamp<Poco::Timestamp::TimeDiff>(_timers.begin()->first - Poco::Timestamp(), 0, wait);
    const Poco::Int64 notificationMs = _notifications.millisecondsToNextTimer();
    if (notificationMs >= 0)
        wait = std::min<Poco::Timestamp::TimeDiff>(wait, notificationMs * 1000);
    return wait;
}

void SiteServer::after(Poco::UInt32 milliseconds, std::function<void()> task)
{
    at(Poco::Timestamp() + static_cast<Poco::Timestamp::TimeDiff>(milliseconds) * 1000, std::move(task));
}

void SiteServer::at(const Poco::Timestamp& due, std::function<void()> task)
{
    _timers.emplace(due, std::move(task));
}

void SiteServer::tick()
{
    for (const COVDelivery& delivery : _site.advance(Poco::Timestamp()))
        sendNotification(delivery);
    after(_site.getTickMs(), [this] { tick(); });
}

SiteServer::Socket* SiteServer::socketOf(Poco::UInt32 instance)
{
    for (const auto& pSocket : _sockets)
    {
        if (pSocket->instance == instance)
            return pSocket.get();
    }
    return nullptr;
}

std::string SiteServer::transferKey(const Socket& socket, const Peer& peer, Poco::UInt8 invokeId) const
{
    return std::to_string(socket.instance) + "/" + peer.address.toString() + "/" + std::to_string(invokeId);
}

}  // namespace Orvik::BACnet::Device::IP
