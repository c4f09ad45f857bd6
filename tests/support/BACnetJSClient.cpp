#include "BACnetJSClient.h"

#include <Poco/Exception.h>
#include <Poco/File.h>

namespace Orvik::Test
{

namespace
{

const int READY_TIMEOUT_MS = 20000;

std::string peerFolder()
{
    return std::string(ORVIK_SOURCE_DIR) + "/tests/peers/bacnet-device";
}

}  // namespace

std::string BACnetJSClient::missing()
{
    if (ChildProcess::locate("node").empty())
        return "node is not installed (scripts/setup installs it): BACnet/IP peer tests skipped";
    if (!Poco::File(peerFolder() + "/node_modules/@bacnet-js/client/package.json").exists())
        return "the npm modules of tests/peers/bacnet-device are missing (scripts/setup runs npm ci): "
               "BACnet/IP peer tests skipped";
    return "";
}

BACnetJSClient::BACnetJSClient(const Poco::Net::SocketAddress& broadcast)
    : _process(std::make_unique<ChildProcess>(
          ChildProcess::locate("node"),
          std::vector<std::string>{peerFolder() + "/client.js", "--broadcast", broadcast.toString()},
          peerFolder()))
{
    if (!_process->waitForLineStarting(ChildProcess::Stream::OUTPUT, "ready", READY_TIMEOUT_MS))
    {
        _process->stop();
        throw Poco::RuntimeException("the BACnet JS client did not start", _process->errorText());
    }
    _answered = 1;
}

BACnetJSClient::~BACnetJSClient()
{
    _process->stop();
}

std::string BACnetJSClient::ask(const std::string& command, int timeoutMs)
{
    _process->writeLine(command);
    const std::size_t wanted = _answered + 1;
    if (!_process->waitFor(
            ChildProcess::Stream::OUTPUT,
            [wanted](const std::vector<std::string>& lines) { return lines.size() >= wanted; }, timeoutMs))
        throw Poco::TimeoutException("no answer of the BACnet JS client to " + command,
                                     _process->errorText());
    _answered = wanted;
    return _process->lines(ChildProcess::Stream::OUTPUT)[wanted - 1];
}

}  // namespace Orvik::Test
