#include "NotifySocket.h"

#include <Poco/Exception.h>
#include <Poco/File.h>

#include <algorithm>

namespace Orvik::Test
{

namespace
{

/// A temporary name is made of the process id and a counter: a socket file that a killed test left
/// behind under a process id used again would refuse the bind. Being our name, such a file is stale.
const std::string& withoutStaleFile(const std::string& path)
{
    Poco::File file(path);
    if (file.exists())
        file.remove();
    return path;
}

}  // namespace

NotifySocket::NotifySocket()
    : _socket(Poco::Net::SocketAddress(Poco::Net::SocketAddress::UNIX_LOCAL, withoutStaleFile(_path.path()))),
      _reader([this] { read(); })
{
}

NotifySocket::~NotifySocket()
{
    _open = false;
    _reader.join();
}

std::vector<std::string> NotifySocket::received() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return _received;
}

int NotifySocket::count(const std::string& text) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return static_cast<int>(std::count(_received.begin(), _received.end(), text));
}

void NotifySocket::read()
{
    // A short receive time-out lets the destructor end the thread soon.
    _socket.setReceiveTimeout(Poco::Timespan(0, 100000));
    char buffer[512];
    while (_open)
    {
        try
        {
            const int length = _socket.receiveBytes(buffer, sizeof(buffer));
            std::lock_guard<std::mutex> lock(_mutex);
            _received.emplace_back(buffer, static_cast<std::size_t>(length));
        }
        catch (Poco::TimeoutException&)
        {
        }
    }
}

}  // namespace Orvik::Test
