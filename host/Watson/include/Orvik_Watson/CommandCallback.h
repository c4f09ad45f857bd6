#pragma once

#include "Orvik_Watson/Command.h"

namespace Watson_IOTP
{

/// Receiver of the commands of a client (`IOTP_Client::setCommandHandler`).
///
/// `processCommand` is called on the client's own MQTT thread, one command at a time,
/// in the order of arrival. It should return soon: while it runs, no other message of
/// the connection is handled. An exception it lets escape is caught by the client,
/// reported on standard error and the command dropped.
class CommandCallback
{
public:
    virtual ~CommandCallback() = default;
    virtual void processCommand(Command& command) = 0;
};

}  // namespace Watson_IOTP
