#pragma once

#include <Poco/Net/ServerSocket.h>

#include <cstdint>

namespace Orvik::Test
{

/// A port of 127.0.0.1 that is free when asked (the short race until a server binds it is accepted), for
/// servers that cannot be started on port 0, and for a port where nobody listens.
inline std::uint16_t freeLoopbackPort()
{
    return Poco::Net::ServerSocket(Poco::Net::SocketAddress("127.0.0.1", 0)).address().port();
}

}  // namespace Orvik::Test
