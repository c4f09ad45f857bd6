#pragma once

#include "Orvik_BACnet/BACnetEnums.h"
#include "PeerAddress.h"

#include <Poco/Types.h>

#include <cstddef>
#include <list>
#include <map>
#include <optional>

namespace Orvik::BACnet::Client::IP
{

/// The devices a BACnet/IP network knows (device instance -> where it is and what it accepts), and the
/// routers to other networks.
///
/// Both are bounded. Learned devices beyond maxDevices push out the one used or heard longest ago;
/// static devices stay and do not count. Routes beyond maxRoutes are not learned (a device's own
/// binding names its router anyway).
///
/// Not thread-safe: the owner holds its lock around every call.
class BindingTable
{
public:
    class Binding
    {
    public:
        PeerAddress peer;
        Poco::UInt32 maxApdu = 1476;
        BACNET_SEGMENTATION segmentation = SEGMENTATION_NO_SEGMENTATION;
        Poco::UInt16 vendorId = 0;
    };

    static constexpr std::size_t _MAX_ROUTES = 1024;

    explicit BindingTable(std::size_t maxDevices);

    /// A device that is known without I-Am; kept for good.
    void addStatic(Poco::UInt32 deviceInstance, const Binding& binding);
    /// What an I-Am told (a static device's binding is replaced, and stays).
    void learn(Poco::UInt32 deviceInstance, const Binding& binding);
    /// The device's binding (counts as a use); null when not known. Valid until the next change.
    const Binding* find(Poco::UInt32 deviceInstance);
    std::size_t size() const { return _devices.size(); }

    /// `router` reaches `network`.
    void learnRoute(Poco::UInt16 network, const Codec::Bvll::Endpoint& router);
    std::optional<Codec::Bvll::Endpoint> routerFor(Poco::UInt16 network) const;

private:
    class Entry
    {
    public:
        Binding binding;
        bool isStatic = false;
        /// Learned entries only: the place in _recent.
        std::list<Poco::UInt32>::iterator recent;
    };

    void touch(Entry& entry);
    void evictOldest();

    const std::size_t _maxDevices;
    std::map<Poco::UInt32, Entry> _devices;
    /// Learned device instances, the most recently used first.
    std::list<Poco::UInt32> _recent;
    std::map<Poco::UInt16, Codec::Bvll::Endpoint> _routes;
};

}  // namespace Orvik::BACnet::Client::IP
