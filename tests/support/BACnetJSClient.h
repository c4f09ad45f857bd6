#pragma once

#include "ChildProcess.h"

#include <Poco/Net/SocketAddress.h>

#include <cstddef>
#include <memory>
#include <string>

namespace Orvik::Test
{

/// The client of the npm library @bacnet-js/client (tests/peers/bacnet-device/client.js):
/// an independent BACnet/IP client on a free port of the loopback that sends its Who-Is to `broadcast`,
/// steered by line commands, each answered by one JSON line (the script's header lists them).
///
/// The constructor returns once the client is ready and throws Poco::RuntimeException with its error
/// output when it is not within 20 s. Tests call missing() first and skip with its text when it is not empty.
/// The destructor ends the client.
class BACnetJSClient
{
public:
    /// Why the client cannot run here ("" when it can): node or the npm modules are missing.
    static std::string missing();

    explicit BACnetJSClient(const Poco::Net::SocketAddress& broadcast);
    ~BACnetJSClient();

    BACnetJSClient(const BACnetJSClient&) = delete;
    BACnetJSClient& operator=(const BACnetJSClient&) = delete;

    /// Sends one command and returns its answer; throws Poco::TimeoutException (with the client's error
    /// output) when none comes within `timeoutMs`.
    std::string ask(const std::string& command, int timeoutMs = 20000);

private:
    std::unique_ptr<ChildProcess> _process;
    std::size_t _answered = 0;  ///< output lines read so far ("ready" and the answers)
};

}  // namespace Orvik::Test
