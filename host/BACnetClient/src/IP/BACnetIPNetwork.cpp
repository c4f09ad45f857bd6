#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"

#include "ClientTransport.h"
#include "ConfirmedRequest.h"
#include "ReadPropertyMultipleRequest.h"
#include "ReadPropertyRequest.h"
#include "ReadRangeRequest.h"

namespace Orvik::BACnet::Client::IP
{

BACnetIPNetwork::BACnetIPNetwork(const Settings& settings, Clock& clock)
    : _settings(settings), _pTransport(std::make_unique<ClientTransport>(settings, clock))
{
}

BACnetIPNetwork::~BACnetIPNetwork() = default;

Poco::Net::SocketAddress BACnetIPNetwork::localAddress() const
{
    return _pTransport->localAddress();
}

Poco::Net::SocketAddress BACnetIPNetwork::broadcastAddress() const
{
    return _pTransport->broadcastAddress();
}

void BACnetIPNetwork::open(NetworkListener& listener)
{
    _pTransport->open(listener);
}

void BACnetIPNetwork::close()
{
    _pTransport->close();
}

void BACnetIPNetwork::sendWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                                Poco::UInt32 highLimit)
{
    _pTransport->sendWhoIs(destination, lowLimit, highLimit);
}

void BACnetIPNetwork::sendReadProperty(Poco::UInt32 transactionId, const DataPropertyKey& key)
{
    _pTransport->start(transactionId, std::make_unique<ReadPropertyRequest>(key));
}

void BACnetIPNetwork::sendReadPropertyMultiple(
    Poco::UInt32 transactionId, Poco::UInt32 deviceInstance,
    const std::vector<NotificationRequestRPM::Parameter>& parameters)
{
    _pTransport->start(transactionId,
                       std::make_unique<ReadPropertyMultipleRequest>(deviceInstance, parameters));
}

void BACnetIPNetwork::sendReadRange(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                    const ReadRange::Range& range)
{
    _pTransport->start(transactionId, std::make_unique<ReadRangeRequest>(key, range));
}

void BACnetIPNetwork::sendWriteProperty(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                        Poco::UInt32 priority, const ValueContainer& value)
{
    _pTransport->start(transactionId, ConfirmedRequest::writeProperty(key, priority, value));
}

void BACnetIPNetwork::sendSubscribeCOV(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                       const NotificationRequestSubscribeCOV::Parameters& parameters)
{
    _pTransport->start(transactionId, ConfirmedRequest::subscribeCOV(key, parameters));
}

void BACnetIPNetwork::endTransaction(Poco::UInt32 transactionId)
{
    _pTransport->endTransaction(transactionId);
}

}  // namespace Orvik::BACnet::Client::IP
