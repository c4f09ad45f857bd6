#pragma once

#include "Orvik_BACnetClient/NetworkReply.h"

namespace Orvik::BACnet::Client
{

/// The end of a transaction whose answer the network has not read yet (a long ACK: a page of log
/// records). read() makes the NetworkReply of it, the same one the network would have reported, on
/// whichever thread calls it and without the network's locks; it needs nothing of the network, which
/// may be closed or gone by then. Reading takes time, so a listener that hands the answer to another
/// thread leaves the reading to that thread.
///
/// read() once; not thread-safe.
class UnreadReply
{
public:
    virtual ~UnreadReply() = default;

    virtual NetworkReply read() = 0;
};

}  // namespace Orvik::BACnet::Client
