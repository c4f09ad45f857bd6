#pragma once

#include <Poco/Net/DatagramSocket.h>
#include <Poco/TemporaryFile.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Orvik::Test
{

/// The service manager's notification socket, played by a test: a Unix datagram socket at a
/// temporary path (give it to the program as NOTIFY_SOCKET) whose datagrams a thread collects.
class NotifySocket
{
public:
    NotifySocket();
    ~NotifySocket();
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    const std::string& path() const { return _path.path(); }
    /// The datagrams so far, in order of arrival.
    std::vector<std::string> received() const;
    /// How many datagrams so far were exactly `text`.
    int count(const std::string& text) const;

private:
    void read();

    Poco::TemporaryFile _path;
    Poco::Net::DatagramSocket _socket;
    mutable std::mutex _mutex;
    std::vector<std::string> _received;
    std::atomic<bool> _open{true};
    std::thread _reader;
};

}  // namespace Orvik::Test
