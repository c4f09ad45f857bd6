#pragma once

#include "Orvik_BACnet/BACnetEnums.h"
#include "PeerAddress.h"

#include <Poco/Logger.h>
#include <Poco/Types.h>

#include <cstddef>
#include <list>
#include <map>
#include <optional>
#include <vector>

namespace Orvik::BACnet::Client::IP
{

/// The devices a BACnet/IP network knows (device instance -> where it is and what it accepts), and the
/// routers to other networks.
///
/// The first address heard for a device, and the first router heard for a network, stay: a second
/// station answering for the same instance, or a second router claiming the same network, is a fault
/// of the site. It is logged (a warning, once per instance or network and rival address) and ignored,
/// so that requests do not flip between the two. A binding or route moves only after it failed: a
/// request to the device through it went unanswered through all its tries, or its router refused the
/// network. It counts as failed until anything is heard from it again. Static devices never move.
///
/// Both are bounded. Learned devices beyond maxDevices push out the one used or heard longest ago;
/// static devices stay and do not count. Routes beyond maxRoutes are not learned (a device's own
/// binding names its router anyway). Each entry logs at most _MAX_RIVALS_LOGGED rivals.
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
    static constexpr std::size_t _MAX_RIVALS_LOGGED = 8;

    /// `logger` takes the warnings about duplicate devices and routers, and the moves.
    BindingTable(std::size_t maxDevices, Poco::Logger& logger);

    /// A device that is known without I-Am; kept for good, at its address.
    void addStatic(Poco::UInt32 deviceInstance, const Binding& binding);
    /// What an I-Am told, under the rules above (an I-Am from the bound address renews its limits).
    /// Returns the binding in force afterwards, valid until the next change.
    const Binding& learn(Poco::UInt32 deviceInstance, const Binding& binding);
    /// A request to the device at `peer` failed: unanswered after its retries, or refused by its router.
    /// The device's binding fails when it is at `peer`; so does the route through `peer`'s router.
    void failed(Poco::UInt32 deviceInstance, const PeerAddress& peer);
    /// The device answered from `peer`: its binding there works.
    void answered(Poco::UInt32 deviceInstance, const PeerAddress& peer);
    /// The device's binding (counts as a use); null when not known. Valid until the next change.
    const Binding* find(Poco::UInt32 deviceInstance);
    /// The device bound at `peer` (where its answers come from); empty when none is.
    std::optional<Poco::UInt32> deviceAt(const PeerAddress& peer) const;
    std::size_t size() const { return _devices.size(); }

    /// `router` reaches `network` (it said so, or passed a message from there).
    void learnRoute(Poco::UInt16 network, const Codec::Bvll::Endpoint& router);
    /// `router` refused to reach `network`, or a request through it went unanswered.
    void routeFailed(Poco::UInt16 network, const Codec::Bvll::Endpoint& router);
    std::optional<Codec::Bvll::Endpoint> routerFor(Poco::UInt16 network) const;

private:
    class Entry
    {
    public:
        Binding binding;
        bool isStatic = false;
        bool failed = false;
        std::vector<PeerAddress> rivalsLogged;
        /// Learned entries only: the place in _recent.
        std::list<Poco::UInt32>::iterator recent;
    };

    class Route
    {
    public:
        Codec::Bvll::Endpoint router;
        bool failed = false;
        std::vector<Codec::Bvll::Endpoint> rivalsLogged;
    };

    void learnAgain(Poco::UInt32 deviceInstance, Entry& entry, const Binding& binding);
    void touch(Entry& entry);
    void evictOldest();
    void bindPeer(Poco::UInt32 deviceInstance, Entry& entry, const Binding& binding);

    const std::size_t _maxDevices;
    Poco::Logger& _logger;
    std::map<Poco::UInt32, Entry> _devices;
    /// Learned device instances, the most recently used first.
    std::list<Poco::UInt32> _recent;
    /// The bound peer of each device, the other way round.
    std::map<PeerAddress, Poco::UInt32> _byPeer;
    std::map<Poco::UInt16, Route> _routes;
};

}  // namespace Orvik::BACnet::Client::IP
