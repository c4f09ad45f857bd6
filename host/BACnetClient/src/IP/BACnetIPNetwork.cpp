#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"

#include "ClientTransport.h"
#include "ConfirmedRequest.h"
#include "LogRecordSizes.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"
#include "Orvik_BACnetDevice/Site.h"
#include "PeerAddress.h"
#include "ReadPropertyMultipleRequest.h"
#include "ReadPropertyRequest.h"
#include "ReadRangeRequest.h"

#include <Poco/Exception.h>

namespace Orvik::BACnet::Client::IP
{

BACnetIPNetwork::BACnetIPNetwork(const Settings& settings, Clock& clock)
    : _settings(withOwnDevice(settings)),
      _pRecordSizes(std::make_shared<LogRecordSizes>()),
      _pTransport(std::make_unique<ClientTransport>(_settings, clock))
{
    if (!_settings.ownDevice)
        return;
    _pOwnDevice = std::make_unique<Simulation::SimulatedSite>(_settings.ownDevice);
    _pOwnDevice->setTransactionSettings(_settings.transactions, clock);
    serveOwnDevice();
}

BACnetIPNetwork::~BACnetIPNetwork()
{
    close();
}

BACnetIPNetwork::Settings BACnetIPNetwork::withOwnDevice(Settings settings)
{
    if (!settings.ownDevice)
        return settings;
    const std::vector<Poco::UInt32> instances = settings.ownDevice->getDeviceInstances();
    if (instances.size() != 1)
        throw Poco::InvalidArgumentException("The gateway's own device is one device, not " +
                                             std::to_string(instances.size()));
    settings.ownDeviceInstance = instances.front();
    return settings;
}

void BACnetIPNetwork::serveOwnDevice()
{
    Device::IP::SiteServer::Settings server;
    server.apduTimeoutMs = _settings.transactions.apduTimeoutMs;
    server.apduRetries = _settings.transactions.apduRetries;
    server.linkAddress = _pTransport->localAddress();
    server.send = [this](const Poco::Net::SocketAddress& to, const Codec::Octets& datagram)
    { _pTransport->sendDatagram(to, datagram); };
    // The client's side moves the device on and passes the notifications for the network's subscribers.
    server.advancesSite = false;
    _pOwnDeviceServer = std::make_unique<Device::IP::SiteServer>(*_settings.ownDevice, server);
    _pOwnDevice->passOtherSubscribers([this](const std::vector<Device::COVDelivery>& notifications)
                                      { _pOwnDeviceServer->deliver(notifications); });
    _pTransport->serveRequestsWith(*_pOwnDeviceServer);
}

bool BACnetIPNetwork::isOwn(Poco::UInt32 deviceInstance) const
{
    return _pOwnDevice && deviceInstance == *_settings.ownDeviceInstance;
}

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
    if (!_pOwnDevice)
        return;
    _pOwnDevice->open(listener);
    _pOwnDeviceServer->start();
}

void BACnetIPNetwork::close()
{
    if (_pOwnDevice)
    {
        _pOwnDeviceServer->stop();
        _pOwnDevice->close();
    }
    _pTransport->close();
}

void BACnetIPNetwork::sendWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                                Poco::UInt32 highLimit)
{
    if (_pOwnDevice)
        _pOwnDevice->sendWhoIs(destination, lowLimit, highLimit);
    _pTransport->sendWhoIs(destination, lowLimit, highLimit);
}

void BACnetIPNetwork::sendReadProperty(Poco::UInt32 transactionId, const DataPropertyKey& key)
{
    if (isOwn(key.deviceInstance))
        return _pOwnDevice->sendReadProperty(transactionId, key);
    _pTransport->start(transactionId, std::make_unique<ReadPropertyRequest>(key));
}

void BACnetIPNetwork::sendReadPropertyMultiple(
    Poco::UInt32 transactionId, Poco::UInt32 deviceInstance,
    const std::vector<NotificationRequestRPM::Parameter>& parameters)
{
    if (isOwn(deviceInstance))
        return _pOwnDevice->sendReadPropertyMultiple(transactionId, deviceInstance, parameters);
    _pTransport->start(transactionId,
                       std::make_unique<ReadPropertyMultipleRequest>(deviceInstance, parameters));
}

void BACnetIPNetwork::sendReadRange(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                    const ReadRange::Range& range)
{
    if (isOwn(key.deviceInstance))
        return _pOwnDevice->sendReadRange(transactionId, key, range);
    _pTransport->start(transactionId, std::make_unique<ReadRangeRequest>(key, range, _pRecordSizes));
}

void BACnetIPNetwork::sendWriteProperty(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                        Poco::UInt32 priority, const ValueContainer& value)
{
    if (isOwn(key.deviceInstance))
        return _pOwnDevice->sendWriteProperty(transactionId, key, priority, value);
    _pTransport->start(transactionId, ConfirmedRequest::writeProperty(key, priority, value));
}

void BACnetIPNetwork::sendSubscribeCOV(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                       const NotificationRequestSubscribeCOV::Parameters& parameters)
{
    if (isOwn(key.deviceInstance))
        return _pOwnDevice->sendSubscribeCOV(transactionId, key, parameters);
    _pTransport->start(transactionId, ConfirmedRequest::subscribeCOV(key, parameters));
}

void BACnetIPNetwork::endTransaction(Poco::UInt32 transactionId)
{
    // Transaction ids are the worker's, unique across both sides; the side without it ignores it.
    if (_pOwnDevice)
        _pOwnDevice->endTransaction(transactionId);
    _pTransport->endTransaction(transactionId);
}

}  // namespace Orvik::BACnet::Client::IP
