#include "NetworkNamespace.h"

#include "ChildProcess.h"

#include <Poco/Exception.h>

#include <atomic>
#include <exception>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace Orvik::Test
{

namespace
{

const int COMMAND_TIMEOUT_MS = 10000;

/// Unique among the namespace sets of concurrent test processes (and of one process).
std::string uniquePrefix()
{
    static std::atomic<int> counter{0};
    return "orvik" + std::to_string(getpid()) + "n" + std::to_string(counter++);
}

}  // namespace

std::string NetworkNamespace::missing()
{
    static const std::string reason = probe();
    return reason;
}

std::string NetworkNamespace::probe()
{
    if (ChildProcess::locate("ip").empty())
        return "iproute2 (ip) is not installed: network namespace tests skipped";
    if (geteuid() != 0)
        return "network namespaces need root here: network namespace tests skipped";
    try
    {
        const NetworkNamespace probe(1);
    }
    catch (const Poco::Exception& e)
    {
        return "network namespaces cannot be made here (" + e.displayText() +
               "): network namespace tests skipped";
    }
    return "";
}

NetworkNamespace::NetworkNamespace(std::size_t hosts, const std::string& subnet)
    : _prefix(uniquePrefix()), _subnet(subnet), _bridgeSpace(_prefix + "-lan")
{
    try
    {
        build(hosts);
    }
    catch (...)
    {
        remove();
        throw;
    }
}

NetworkNamespace::~NetworkNamespace()
{
    remove();
}

void NetworkNamespace::build(std::size_t hosts)
{
    ip({"netns", "add", _bridgeSpace});
    _made.push_back(_bridgeSpace);
    ip({"-n", _bridgeSpace, "link", "add", "br0", "type", "bridge"});
    ip({"-n", _bridgeSpace, "link", "set", "br0", "up"});
    for (std::size_t host = 0; host < hosts; ++host)
    {
        const std::string space = _prefix + "-h" + std::to_string(host);
        const std::string port = "p" + std::to_string(host);
        ip({"netns", "add", space});
        _made.push_back(space);
        _hosts.push_back(space);
        ip({"-n", _bridgeSpace, "link", "add", port, "type", "veth", "peer", "name", "eth0", "netns", space});
        ip({"-n", _bridgeSpace, "link", "set", port, "master", "br0", "up"});
        ip({"-n", space, "addr", "add", address(host) + "/24", "broadcast", broadcastAddress(), "dev",
            "eth0"});
        ip({"-n", space, "link", "set", "eth0", "up"});
        ip({"-n", space, "link", "set", "lo", "up"});
    }
}

void NetworkNamespace::remove() noexcept
{
    for (auto it = _made.rbegin(); it != _made.rend(); ++it)
    {
        try
        {
            ip({"netns", "del", *it});
        }
        catch (const Poco::Exception&)
        {
            // Removing the rest matters more than this one.
        }
    }
    _made.clear();
}

void NetworkNamespace::ip(const std::vector<std::string>& args)
{
    ChildProcess command("ip", args);
    if (command.wait(COMMAND_TIMEOUT_MS) != 0)
    {
        std::string words = "ip";
        for (const std::string& arg : args)
            words += " " + arg;
        command.stop();
        throw Poco::RuntimeException(words, command.errorText());
    }
}

std::string NetworkNamespace::address(std::size_t host) const
{
    return _subnet + "." + std::to_string(host + 1);
}

std::string NetworkNamespace::broadcastAddress() const
{
    return _subnet + ".255";
}

std::vector<std::string> NetworkNamespace::wrapper(std::size_t host) const
{
    return {"ip", "netns", "exec", name(host)};
}

void NetworkNamespace::runInside(std::size_t host, const std::function<void()>& work) const
{
    const std::string path = "/run/netns/" + name(host);
    std::exception_ptr failure;
    std::thread inside(
        [&]
        {
            try
            {
                const int space = open(path.c_str(), O_RDONLY | O_CLOEXEC);
                if (space < 0)
                    throw Poco::IOException("cannot open the network namespace", path);
                const int entered = setns(space, CLONE_NEWNET);
                close(space);
                if (entered != 0)
                    throw Poco::IOException("cannot enter the network namespace", path);
                work();
            }
            catch (...)
            {
                failure = std::current_exception();
            }
        });
    inside.join();
    if (failure)
        std::rethrow_exception(failure);
}

}  // namespace Orvik::Test
