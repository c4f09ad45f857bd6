#pragma once

#include "AnswerHandOver.h"
#include "ApduSender.h"
#include "BindingTable.h"
#include "COVNotificationReceiver.h"
#include "ClientTransactions.h"
#include "ConfirmedRequest.h"
#include "Orvik_BACnet/Clock.h"
#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"
#include "Orvik_BACnetClient/NetworkListener.h"
#include "PeerAddress.h"
#include "RouterMessages.h"
#include "ServerHandOff.h"
#include "TimerDriver.h"

#include <memory>
#include <mutex>

namespace Orvik::BACnet::Client::IP
{

class BvllLink;

/// The working part of BACnetIPNetwork (whose header says what it does): the station on the BVLL link.
/// It owns the link, the device bindings and the timer driver, and hands what arrives to the part whose
/// job it is: the network layer (RouterMessages), the server of the own device (ServerHandOff), the
/// client's transactions (ClientTransactions), COV notifications (COVNotificationReceiver); I-Ams bind
/// devices here.
///
/// One lock (_mutex) covers the state of all these parts and every call of the TransactionTable, so the
/// table's Transmit and FindDevice functions run with it held; the listener is called with it held too
/// (it only queues), except for the answers the waiting datagrams bring, which are handed to it
/// together after the lock is let go (AnswerHandOver). The timer driver runs the transactions' timers and the
/// BBMD registration under it.
class ClientTransport
{
public:
    ClientTransport(const BACnetIPNetwork::Settings& settings, Clock& clock);
    ~ClientTransport();

    /// Before open(): what the server of this station answers goes to `server` (see ServerHandOff).
    /// Without it, confirmed requests are rejected (unrecognized-service) and the rest is dropped.
    void serveRequestsWith(Device::IP::SiteServer& server) { _server.serveWith(server); }
    /// A whole datagram from this station's socket; throws Poco::Exception when the socket refuses it.
    void sendDatagram(const Poco::Net::SocketAddress& destination, const Codec::Octets& datagram);

    void open(NetworkListener& listener);
    void close();
    Poco::Net::SocketAddress localAddress() const;
    Poco::Net::SocketAddress broadcastAddress() const;

    void sendWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit, Poco::UInt32 highLimit);
    /// Opens the transaction of a confirmed request; throws Poco::ExistsException for an open id,
    /// Poco::PoolOverflowException when too many are open, Poco::IllegalStateException when closed.
    void start(Poco::UInt32 transactionId, std::unique_ptr<ConfirmedRequest> pRequest);
    void endTransaction(Poco::UInt32 transactionId);

private:
    /// On the receive thread, without _mutex: takes it while the datagram is taken in.
    void receive(const Codec::Bvll::Endpoint& source, const Codec::OctetView& npdu);
    /// On the receive thread, without _mutex, once no datagram waits: the answers they brought.
    void handOverAnswers();

    // ---- with _mutex held ------------------------------------------------------------------------------
    void addStatic(const BACnetIPNetwork::StaticBinding& staticBinding);
    void requireOpen() const;
    void receiveNpdu(const Codec::Bvll::Endpoint& source, const Codec::OctetView& npdu);
    void receiveApdu(const Codec::Bvll::Endpoint& source, const Codec::Npdu::Message& npdu);
    void receiveIAm(const PeerAddress& peer, const Codec::OctetView& serviceData);
    /// The timer driver's due work.
    Poco::Int64 runTimers();

    const BACnetIPNetwork::Settings _settings;
    std::unique_ptr<BvllLink> _pLink;

    mutable std::mutex _mutex;
    NetworkListener* _pListener = nullptr;
    AnswerHandOver _answers;
    bool _stopping = false;
    BindingTable _bindings;
    ApduSender _sender;
    TimerDriver _timers;
    ClientTransactions _transactions;
    RouterMessages _router;
    ServerHandOff _server;
    COVNotificationReceiver _notifications;
};

}  // namespace Orvik::BACnet::Client::IP
