#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace Orvik::Test
{

/// Network namespaces on one simulated Ethernet segment, for tests that need real broadcasts: a
/// bridge in a namespace of its own, and `hosts` namespaces, each joined to the bridge by a veth
/// pair and given the address <subnet>.<host + 1>/24 (loopback up as well). Nothing touches the
/// test machine's own network: every address lies inside the namespaces, and the destructor
/// removes them all (with their links).
///
/// Needs root and iproute2; tests call `missing()` first and skip with its text when it is not
/// empty. The constructor throws Poco::RuntimeException (with the failing command's output) when a
/// step fails, and removes what it made.
class NetworkNamespace
{
public:
    static std::string missing();

    explicit NetworkNamespace(std::size_t hosts, const std::string& subnet = "10.213.0");
    ~NetworkNamespace();

    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;

    std::size_t hosts() const { return _hosts.size(); }
    const std::string& name(std::size_t host) const { return _hosts.at(host); }
    /// "<subnet>.<host + 1>"
    std::string address(std::size_t host) const;
    /// "<subnet>.255"
    std::string broadcastAddress() const;
    /// The words that run a program inside a host: {"ip", "netns", "exec", <name>}.
    std::vector<std::string> wrapper(std::size_t host) const;
    /// Runs `work` on a thread that has entered the host's namespace: sockets that it opens belong
    /// to the host (and stay there after it returns). Exceptions of `work` are passed on.
    void runInside(std::size_t host, const std::function<void()>& work) const;

private:
    static std::string probe();
    static void ip(const std::vector<std::string>& args);
    void build(std::size_t hosts);
    void remove() noexcept;

    std::string _prefix;
    std::string _subnet;
    std::string _bridgeSpace;
    std::vector<std::string> _hosts;
    std::vector<std::string> _made;
};

}  // namespace Orvik::Test
