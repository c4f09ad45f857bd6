#include "BindingTable.h"

#include <algorithm>

namespace Orvik::BACnet::Client::IP
{

BindingTable::BindingTable(std::size_t maxDevices) : _maxDevices(std::max<std::size_t>(maxDevices, 1)) {}

void BindingTable::addStatic(Poco::UInt32 deviceInstance, const Binding& binding)
{
    auto it = _devices.find(deviceInstance);
    if (it != _devices.end() && !it->second.isStatic)
        _recent.erase(it->second.recent);
    Entry& entry = _devices[deviceInstance];
    entry.binding = binding;
    entry.isStatic = true;
}

void BindingTable::learn(Poco::UInt32 deviceInstance, const Binding& binding)
{
    auto it = _devices.find(deviceInstance);
    if (it != _devices.end())
    {
        it->second.binding = binding;
        touch(it->second);
        return;
    }
    if (_recent.size() >= _maxDevices)
        evictOldest();
    Entry& entry = _devices[deviceInstance];
    entry.binding = binding;
    _recent.push_front(deviceInstance);
    entry.recent = _recent.begin();
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
    if (it != _routes.end())
        it->second = router;
    else if (_routes.size() < _MAX_ROUTES)
        _routes.emplace(network, router);
}

std::optional<Codec::Bvll::Endpoint> BindingTable::routerFor(Poco::UInt16 network) const
{
    auto it = _routes.find(network);
    if (it == _routes.end())
        return std::nullopt;
    return it->second;
}

void BindingTable::touch(Entry& entry)
{
    if (!entry.isStatic)
        _recent.splice(_recent.begin(), _recent, entry.recent);
}

void BindingTable::evictOldest()
{
    _devices.erase(_recent.back());
    _recent.pop_back();
}

}  // namespace Orvik::BACnet::Client::IP
