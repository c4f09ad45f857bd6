#include "BindingTable.h"

#include <algorithm>
#include <string>

namespace Orvik::BACnet::Client::IP
{

namespace
{

/// True the first time `rival` is seen in `logged`, while there is room to remember it.
template <typename Address>
bool isFirstSighting(std::vector<Address>& logged, const Address& rival)
{
    if (logged.size() >= BindingTable::_MAX_RIVALS_LOGGED ||
        std::find(logged.begin(), logged.end(), rival) != logged.end())
        return false;
    logged.push_back(rival);
    return true;
}

std::string routerText(const Codec::Bvll::Endpoint& router)
{
    return PeerAddress(router).toString();
}

std::string deviceText(Poco::UInt32 deviceInstance)
{
    return "device " + std::to_string(deviceInstance);
}

std::string networkText(Poco::UInt16 network)
{
    return "network " + std::to_string(network);
}

}  // namespace

BindingTable::BindingTable(std::size_t maxDevices, Poco::Logger& logger)
    : _maxDevices(std::max<std::size_t>(maxDevices, 1)), _logger(logger)
{
}

void BindingTable::addStatic(Poco::UInt32 deviceInstance, const Binding& binding)
{
    auto it = _devices.find(deviceInstance);
    if (it != _devices.end() && !it->second.isStatic)
        _recent.erase(it->second.recent);
    Entry& entry = _devices[deviceInstance];
    bindPeer(deviceInstance, entry, binding);
    entry.isStatic = true;
    entry.failed = false;
}

const BindingTable::Binding& BindingTable::learn(Poco::UInt32 deviceInstance, const Binding& binding)
{
    auto it = _devices.find(deviceInstance);
    if (it != _devices.end())
    {
        learnAgain(deviceInstance, it->second, binding);
        touch(it->second);
        return it->second.binding;
    }
    if (_recent.size() >= _maxDevices)
        evictOldest();
    Entry& entry = _devices[deviceInstance];
    bindPeer(deviceInstance, entry, binding);
    _recent.push_front(deviceInstance);
    entry.recent = _recent.begin();
    return entry.binding;
}

void BindingTable::learnAgain(Poco::UInt32 deviceInstance, Entry& entry, const Binding& binding)
{
    const PeerAddress& bound = entry.binding.peer;
    if (binding.peer != bound && !entry.failed)
    {
        if (isFirstSighting(entry.rivalsLogged, binding.peer))
            _logger.warning("BACnet/IP: " + deviceText(deviceInstance) + " answers from " +
                            binding.peer.toString() + " as well as from " + bound.toString() +
                            ", where it stays (two devices with one instance?)");
        return;
    }
    if (binding.peer != bound)
        _logger.information("BACnet/IP: " + deviceText(deviceInstance) + " moves from " + bound.toString() +
                            ", which stopped answering, to " + binding.peer.toString());
    bindPeer(deviceInstance, entry, binding);
    entry.failed = false;
}

void BindingTable::failed(Poco::UInt32 deviceInstance, const PeerAddress& peer)
{
    auto it = _devices.find(deviceInstance);
    if (it != _devices.end() && !it->second.isStatic && it->second.binding.peer == peer)
        it->second.failed = true;
    if (peer.isRouted())
        routeFailed(peer.address().getNetworkNumber(), peer.via());
}

void BindingTable::answered(Poco::UInt32 deviceInstance, const PeerAddress& peer)
{
    auto it = _devices.find(deviceInstance);
    if (it != _devices.end() && it->second.binding.peer == peer)
        it->second.failed = false;
}

const BindingTable::Binding* BindingTable::find(Poco::UInt32 deviceInstance)
{
    auto it = _devices.find(deviceInstance);
    if (it == _devices.end())
        return nullptr;
    touch(it->second);
    return &it->second.binding;
}

void BindingTable::learnRoute(Poco::UInt16 network, const Codec::Bvll::Endpoint& router)
{
    auto it = _routes.find(network);
    if (it == _routes.end())
    {
        if (_routes.size() < _MAX_ROUTES)
            _routes[network].router = router;
        return;
    }
    Route& route = it->second;
    if (router != route.router && !route.failed)
    {
        if (isFirstSighting(route.rivalsLogged, router))
            _logger.warning("BACnet/IP: router " + routerText(router) + " claims " + networkText(network) +
                            " as well as router " + routerText(route.router) + ", which keeps it");
        return;
    }
    if (router != route.router)
        _logger.information("BACnet/IP: " + networkText(network) + " moves from router " +
                            routerText(route.router) + ", which stopped answering, to router " +
                            routerText(router));
    route.router = router;
    route.failed = false;
}

void BindingTable::routeFailed(Poco::UInt16 network, const Codec::Bvll::Endpoint& router)
{
    auto it = _routes.find(network);
    if (it != _routes.end() && it->second.router == router)
        it->second.failed = true;
}

std::optional<Codec::Bvll::Endpoint> BindingTable::routerFor(Poco::UInt16 network) const
{
    auto it = _routes.find(network);
    if (it == _routes.end())
        return std::nullopt;
    return it->second.router;
}

void BindingTable::touch(Entry& entry)
{
    if (!entry.isStatic)
        _recent.splice(_recent.begin(), _recent, entry.recent);
}

void BindingTable::evictOldest()
{
    auto it = _devices.find(_recent.back());
    auto bound = _byPeer.find(it->second.binding.peer);
    if (bound->second == it->first)
        _byPeer.erase(bound);
    _devices.erase(it);
    _recent.pop_back();
}

void BindingTable::bindPeer(Poco::UInt32 deviceInstance, Entry& entry, const Binding& binding)
{
    auto bound = _byPeer.find(entry.binding.peer);
    if (bound != _byPeer.end() && bound->second == deviceInstance)
        _byPeer.erase(bound);
    entry.binding = binding;
    _byPeer[binding.peer] = deviceInstance;
}

std::optional<Poco::UInt32> BindingTable::deviceAt(const PeerAddress& peer) const
{
    auto it = _byPeer.find(peer);
    if (it == _byPeer.end())
        return std::nullopt;
    return it->second;
}

}  // namespace Orvik::BACnet::Client::IP
