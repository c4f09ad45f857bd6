#pragma once

#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/OutageQueue.h"

#include <Poco/Clock.h>

#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <string>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// Holds a bridge's value messages to a rate (a token bucket each for messages and for bytes per
/// second; 0 leaves that kind free; the buckets hold a tenth of a second's worth, at least one message).
///
/// Each point has at most one message waiting: a newer value replaces the waiting one in its place in
/// line, so a burst of one point becomes its newest value and no point's value goes after a newer one.
/// Points go in the order their first waiting value came. Commands and their results never pass
/// through here. Used by the bridge's thread only.
class PublishRateLimit
{
public:
    using Send = std::function<void(const OutageQueue::Message&)>;

    PublishRateLimit(double messagesPerSecond, double bytesPerSecond);

    /// False when neither kind is limited: values go out as they come.
    bool limits() const { return _messagesPerSecond > 0 || _bytesPerSecond > 0; }
    /// A value of `point`, `bytes` long on the wire, waits for its turn.
    void offer(const std::string& point, const OutageQueue::Message& message, std::size_t bytes);
    /// Hands `send` every waiting message the buckets allow now; returns `wait` (ms), shortened to when
    /// the next waiting one may go.
    long release(long wait, const Send& send);
    std::size_t waiting() const { return _line.size(); }

private:
    struct Waiting
    {
        std::string point;
        OutageQueue::Message message;
        std::size_t bytes;
    };

    void refill();
    bool mayGo() const;
    long msUntilNext() const;

    const double _messagesPerSecond;
    const double _bytesPerSecond;
    double _messageTokens;
    double _byteTokens;
    Poco::Clock _refilled;
    std::list<Waiting> _line;
    std::map<std::string, std::list<Waiting>::iterator> _byPoint;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
