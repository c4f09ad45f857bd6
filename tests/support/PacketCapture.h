#pragma once

#include "ChildProcess.h"

#include <Poco/Net/DatagramSocket.h>
#include <Poco/Types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace Orvik::Test
{

/// Captures the UDP datagrams of some ports on the loopback into a capture file (Wireshark's
/// dumpcap), and has Wireshark's dissectors judge them (tshark, with BACnet/IP decoding on those
/// ports).
///
/// The constructor returns once packets are being captured: it sends datagrams to a probe port of
/// its own until dumpcap counts one (the probes are left out of the report), and throws
/// Poco::RuntimeException with dumpcap's output when that does not happen within 10 s. `judge()`
/// stops the capture once the packets still in the kernel's buffer are written, and fails the running
/// test for what the dissector finds; the destructor stops the capture and removes the file. Tests
/// call `missing()` first and skip with its text when it is not empty (no tshark, or not allowed to
/// capture).
class PacketCapture
{
public:
    struct Report
    {
        std::size_t packets = 0;  ///< datagrams captured
        std::size_t bacnet = 0;   ///< of them dissected as BACnet/IP
        /// One line per malformed packet or expert error: "<frame>: <expert message> | <summary>".
        std::vector<std::string> problems;
    };

    static std::string missing();

    /// `ports` may repeat a port.
    explicit PacketCapture(std::vector<Poco::UInt16> ports);
    ~PacketCapture();

    PacketCapture(const PacketCapture&) = delete;
    PacketCapture& operator=(const PacketCapture&) = delete;

    /// The dissector's report; a datagram on the ports that is not BACnet/IP, a malformed packet or an
    /// expert error fails the running test.
    Report judge();

private:
    void waitUntilCapturing();
    void stop();
    Report analyse();

    std::vector<Poco::UInt16> _ports;
    Poco::Net::DatagramSocket _probe;
    std::string _file;
    std::unique_ptr<ChildProcess> _dumpcap;
};

}  // namespace Orvik::Test
