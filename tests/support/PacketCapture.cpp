#include "PacketCapture.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/NumberParser.h>
#include <Poco/StringTokenizer.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>
#include <Poco/Timestamp.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <utility>

namespace Orvik::Test
{

namespace
{

const int START_TIMEOUT_MS = 10000;
const int PROBE_INTERVAL_MS = 100;
const int ANALYSIS_TIMEOUT_MS = 60000;
/// dumpcap reads the kernel's capture buffer in blocks that are handed over after its read time-out
/// (250 ms); a capture stopped sooner loses the packets of the last block.
const long BUFFER_HANDOVER_MS = 500;
/// Expert severities as tshark prints them in fields output.
const Poco::UInt32 SEVERITY_ERROR = 0x800000;

/// The highest severity of a packet's expert items ("8388608;6291456" or empty).
Poco::UInt32 highestSeverity(const std::string& severities)
{
    Poco::UInt32 highest = 0;
    for (const std::string& item :
         Poco::StringTokenizer(severities, ";", Poco::StringTokenizer::TOK_IGNORE_EMPTY))
    {
        unsigned value = 0;
        if (Poco::NumberParser::tryParseUnsigned(item, value) && value > highest)
            highest = value;
    }
    return highest;
}

std::vector<Poco::UInt16> distinct(std::vector<Poco::UInt16> ports)
{
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

}  // namespace

std::string PacketCapture::missing()
{
    if (ChildProcess::locate("tshark").empty() || ChildProcess::locate("dumpcap").empty())
        return "tshark is not installed (scripts/setup installs it): packet capture tests skipped";
    if (geteuid() != 0)
        return "capturing packets needs root here: packet capture tests skipped";
    return "";
}

PacketCapture::PacketCapture(std::vector<Poco::UInt16> ports)
    : _ports(distinct(std::move(ports))),
      _probe(Poco::Net::SocketAddress("127.0.0.1", 0)),
      _file(Poco::TemporaryFile::tempName() + ".pcapng")
{
    std::string filter = "udp port " + std::to_string(_probe.address().port());
    for (Poco::UInt16 port : _ports)
        filter += " or udp port " + std::to_string(port);
    _dumpcap = std::make_unique<ChildProcess>(
        "dumpcap", std::vector<std::string>{"-i", "lo", "-f", filter, "-w", _file});
    waitUntilCapturing();
}

void PacketCapture::waitUntilCapturing()
{
    const Poco::Timestamp started;
    const char probe = 0;
    while (!started.isElapsed(START_TIMEOUT_MS * 1000L))
    {
        _probe.sendTo(&probe, 1, _probe.address());
        if (_dumpcap->waitForLineStarting(ChildProcess::Stream::ERROR, "Packets: ", PROBE_INTERVAL_MS))
            return;
        if (_dumpcap->wait(0) != -1)
            break;
    }
    _dumpcap->stop();
    throw Poco::RuntimeException("the packet capture did not start", _dumpcap->errorText());
}

PacketCapture::~PacketCapture()
{
    stop();
    try
    {
        Poco::File(_file).remove();
    }
    catch (const Poco::Exception&)
    {
        // No file (nothing captured) or already gone.
    }
}

void PacketCapture::stop()
{
    if (_dumpcap->wait(0) == -1)
    {
        Poco::Thread::sleep(BUFFER_HANDOVER_MS);
        _dumpcap->stop();
    }
}

PacketCapture::Report PacketCapture::analyse()
{
    stop();
    Report report;
    if (!Poco::File(_file).exists())
        return report;
    std::vector<std::string> args{
        "-r", _file,         "-Y", "not udp.port == " + std::to_string(_probe.address().port()),
        "-T", "fields",      "-E", "occurrence=a",
        "-E", "aggregator=;"};
    for (Poco::UInt16 port : _ports)
        args.insert(args.end(), {"-d", "udp.port==" + std::to_string(port) + ",bvlc"});
    for (const char* field :
         {"frame.number", "bvlc.type", "_ws.expert.severity", "_ws.expert.message", "_ws.col.Info"})
        args.insert(args.end(), {"-e", field});
    ChildProcess tshark("tshark", args);
    if (tshark.wait(ANALYSIS_TIMEOUT_MS) != 0)
        throw Poco::RuntimeException("tshark could not read the capture", tshark.errorText());
    tshark.stop();
    for (const std::string& line : tshark.lines(ChildProcess::Stream::OUTPUT))
    {
        const Poco::StringTokenizer fields(line, "\t");
        if (fields.count() < 5)
            continue;
        ++report.packets;
        if (!fields[1].empty())
            ++report.bacnet;
        if (highestSeverity(fields[2]) >= SEVERITY_ERROR)
            report.problems.push_back(fields[0] + ": " + fields[3] + " | " + fields[4]);
    }
    return report;
}

PacketCapture::Report PacketCapture::judge()
{
    const Report report = analyse();
    EXPECT_EQ(report.bacnet, report.packets) << "datagrams on the BACnet ports that are not BACnet/IP";
    for (const std::string& problem : report.problems)
        ADD_FAILURE() << "dissector: " << problem;
    return report;
}

}  // namespace Orvik::Test
