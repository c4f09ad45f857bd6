#include "BACnetJSClient.h"

#include "BACnetDeviceSimulator.h"

#include <Poco/Exception.h>

namespace Orvik::Test
{

namespace
{

const int READY_TIMEOUT_MS = 20000;

}  // namespace

BACnetJSClient::BACnetJSClient(const Poco::Net::SocketAddress& broadcast)
    : _process(std::make_unique<ChildProcess>(
          ChildProcess::locate("node"),
          std::vector<std::string>{BACnetDeviceSimulator::peerFolder() + "/client.js", "--broadcast",
                                   broadcast.toString()},
          BACnetDeviceSimulator::peerFolder()))
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
