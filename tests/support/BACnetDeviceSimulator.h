#pragma once

#include "ChildProcess.h"

#include <Poco/Net/SocketAddress.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Types.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Orvik::Test
{

/// The BACnet/IP device simulator of tests/peers/bacnet-device (Node, on an independent BACnet
/// library) serving a site file on real UDP sockets: every local device on a free port of the bind
/// address, devices of other networks behind a router endpoint. tests/peers/bacnet-device/README.md
/// describes the site file, the commands and the events.
///
/// Node runs with the test process's environment, so BACnet date-times (local time) mean the same
/// on both sides. The constructor returns once the simulator is ready, and throws Poco::RuntimeException
/// (with the simulator's error output) when it fails or is not ready within 20 s. The destructor ends it.
/// Tests call `missing()` first and skip with its text when it is not empty.
///
/// `command()` sends one command line and returns the result after "ok"; an "error" answer or no
/// answer within the time-out throws Poco::RuntimeException. Commands are serialised; events can be
/// waited for from any thread.
class BACnetDeviceSimulator
{
public:
    /// Where one device answers: its own socket, or the router's with the device's network and MAC.
    struct Device
    {
        Poco::UInt32 instance = 0;
        Poco::Net::SocketAddress address;
        Poco::UInt16 network = 0;  ///< 0: the local network
        std::vector<Poco::UInt8> mac;
    };

    enum class Site
    {
        FILE,  ///< `site` is the path of a site file
        TEXT   ///< `site` is the JSON text of a site
    };

    /// Why the simulator cannot run here ("" when it can): node or the npm modules are missing.
    static std::string missing();
    /// The folder of the test peer's scripts (tests/peers/bacnet-device).
    static std::string peerFolder();

    /// `wrapper` runs node through this command (e.g. "ip netns exec <ns>").
    explicit BACnetDeviceSimulator(const std::string& site, Site kind = Site::FILE,
                                   const std::vector<std::string>& wrapper = {});
    ~BACnetDeviceSimulator();

    BACnetDeviceSimulator(const BACnetDeviceSimulator&) = delete;
    BACnetDeviceSimulator& operator=(const BACnetDeviceSimulator&) = delete;

    const std::vector<Device>& devices() const { return _devices; }
    /// Throws Poco::NotFoundException for an instance the site does not have.
    const Device& device(Poco::UInt32 instance) const;
    /// Every UDP port the simulator listens on (for a capture filter).
    std::vector<Poco::UInt16> ports() const;

    std::string command(const std::string& line, int timeoutMs = 5000);
    /// The "event ..." lines so far, without "event ".
    std::vector<std::string> events() const;
    /// Waits until at least `count` events start with `prefix`; false when the time ran out.
    bool waitForEvents(const std::string& prefix, std::size_t count = 1, int timeoutMs = 10000);

private:
    Poco::TemporaryFile _siteText;  ///< the site given as text
    std::unique_ptr<ChildProcess> _process;
    std::vector<Device> _devices;
    std::mutex _commandMutex;
};

}  // namespace Orvik::Test
