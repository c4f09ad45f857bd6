#pragma once

#include "Orvik_BACnetClient/DataResponseCOV.h"
#include "Orvik_BACnetClient/DataResponseWhoIs.h"

#include <Poco/AutoPtr.h>
#include <Poco/Notification.h>
#include <Poco/Types.h>

#include <variant>

namespace Orvik::BACnet::Client
{

/// Something that arrived from the network, queued by the client worker's listener for the worker's
/// own thread: a transaction that waits in the network's queue or left it, an I-Am, a COV notification;
/// or a wake-up, which only makes the worker look at its deadlines again (its clock jumped, or a request
/// started on a requester's thread has a deadline before the worker's wait ends). (Answers do not
/// come this way: the listener delivers them to the requester itself.)
class NotificationNetworkEvent : public Poco::Notification
{
public:
    class Queueing
    {
    public:
        Poco::UInt32 transactionId;
        bool waiting;
    };
    class Wake
    {
    };
    using Event = std::variant<Queueing, DataResponseWhoIs, DataResponseCOV, Wake>;

    explicit NotificationNetworkEvent(Event anEvent) : event(std::move(anEvent)) {}

    const Event event;

protected:
    ~NotificationNetworkEvent() override = default;
};

}  // namespace Orvik::BACnet::Client
