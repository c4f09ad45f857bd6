#include "BACnetDeviceSimulator.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/NumberParser.h>
#include <Poco/Path.h>
#include <Poco/StringTokenizer.h>

#include <algorithm>

namespace Orvik::Test
{

namespace
{

const int READY_TIMEOUT_MS = 20000;
const std::string EVENT = "event ";

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}
}  // namespace

std::string BACnetDeviceSimulator::peerFolder()
{
    return std::string(ORVIK_SOURCE_DIR) + "/tests/peers/bacnet-device";
}

std::string BACnetDeviceSimulator::missing()
{
    if (ChildProcess::locate("node").empty())
        return "node is not installed (scripts/setup installs it): BACnet/IP peer tests skipped";
    if (!Poco::File(peerFolder() + "/node_modules/@bacnet-js/client/package.json").exists())
        return "the npm modules of tests/peers/bacnet-device are missing (scripts/setup runs npm ci): "
               "BACnet/IP peer tests skipped";
    return "";
}

BACnetDeviceSimulator::BACnetDeviceSimulator(const std::string& site, Site kind,
                                             const std::vector<std::string>& wrapper)
{
    if (kind == Site::TEXT)
        Poco::FileOutputStream(_siteText.path()) << site;
    std::vector<std::string> args(wrapper);
    args.insert(args.end(), {ChildProcess::locate("node"), peerFolder() + "/device.js",
                             kind == Site::TEXT ? _siteText.path() : Poco::Path(site).absolute().toString()});
    _process = std::make_unique<ChildProcess>(
        args.front(), std::vector<std::string>(args.begin() + 1, args.end()), peerFolder());
    if (!_process->waitForLineStarting(ChildProcess::Stream::OUTPUT, "ready", READY_TIMEOUT_MS))
    {
        _process->stop();
        throw Poco::RuntimeException("the BACnet device simulator did not start", _process->errorText());
    }
    // "device <instance> <ip:port>[ network <n> mac <hex>]" for every device, before "ready".
    for (const std::string& line : _process->lines(ChildProcess::Stream::OUTPUT))
    {
        const Poco::StringTokenizer words(line, " ", Poco::StringTokenizer::TOK_IGNORE_EMPTY);
        if (words.count() < 3 || words[0] != "device")
            continue;
        Device device;
        device.instance = Poco::NumberParser::parseUnsigned(words[1]);
        device.address = Poco::Net::SocketAddress(words[2]);
        if (words.count() == 7)
        {
            device.network = static_cast<Poco::UInt16>(Poco::NumberParser::parseUnsigned(words[4]));
            for (std::size_t i = 0; i + 1 < words[6].size(); i += 2)
                device.mac.push_back(
                    static_cast<Poco::UInt8>(Poco::NumberParser::parseHex(words[6].substr(i, 2))));
        }
        _devices.push_back(device);
    }
}

BACnetDeviceSimulator::~BACnetDeviceSimulator()
{
    _process->stop();
}

const BACnetDeviceSimulator::Device& BACnetDeviceSimulator::device(Poco::UInt32 instance) const
{
    for (const Device& device : _devices)
    {
        if (device.instance == instance)
            return device;
    }
    throw Poco::NotFoundException("simulated device", std::to_string(instance));
}

std::vector<Poco::UInt16> BACnetDeviceSimulator::ports() const
{
    std::vector<Poco::UInt16> ports;
    for (const Device& device : _devices)
        ports.push_back(device.address.port());
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

std::string BACnetDeviceSimulator::command(const std::string& line, int timeoutMs)
{
    const std::lock_guard<std::mutex> lock(_commandMutex);
    const std::size_t before = _process->lines(ChildProcess::Stream::OUTPUT).size();
    _process->writeLine(line);
    std::string answer;
    const bool answered = _process->waitFor(
        ChildProcess::Stream::OUTPUT,
        [&](const std::vector<std::string>& lines)
        {
            for (std::size_t i = before; i < lines.size(); ++i)
            {
                if (lines[i] == "ok" || startsWith(lines[i], "ok ") || startsWith(lines[i], "error "))
                {
                    answer = lines[i];
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    if (!answered)
        throw Poco::RuntimeException("the BACnet device simulator did not answer", line);
    if (startsWith(answer, "error "))
        throw Poco::RuntimeException("the BACnet device simulator refused " + line, answer.substr(6));
    return answer.size() > 3 ? answer.substr(3) : "";
}

std::vector<std::string> BACnetDeviceSimulator::events() const
{
    std::vector<std::string> events;
    for (const std::string& line : _process->lines(ChildProcess::Stream::OUTPUT))
    {
        if (startsWith(line, EVENT))
            events.push_back(line.substr(EVENT.size()));
    }
    return events;
}

bool BACnetDeviceSimulator::waitForEvents(const std::string& prefix, std::size_t count, int timeoutMs)
{
    const std::string wanted = EVENT + prefix;
    return _process->waitFor(
        ChildProcess::Stream::OUTPUT,
        [&](const std::vector<std::string>& lines)
        {
            return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(),
                                                          [&](const std::string& line)
                                                          { return startsWith(line, wanted); })) >= count;
        },
        timeoutMs);
}

}  // namespace Orvik::Test
