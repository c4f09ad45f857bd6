#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/PublishRateLimit.h"

#include <algorithm>
#include <cmath>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

namespace
{

/// A tenth of a second's worth: a short burst, and the rate holds over any second.
double capacityOf(double perSecond)
{
    return std::max(1.0, perSecond / 10);
}

}  // namespace

PublishRateLimit::PublishRateLimit(double messagesPerSecond, double bytesPerSecond)
    : _messagesPerSecond(messagesPerSecond),
      _bytesPerSecond(bytesPerSecond),
      _messageTokens(capacityOf(messagesPerSecond)),
      _byteTokens(capacityOf(bytesPerSecond))
{
}

void PublishRateLimit::offer(const std::string& point, const OutageQueue::Message& message, std::size_t bytes)
{
    const auto found = _byPoint.find(point);
    if (found != _byPoint.end())
    {
        found->second->message = message;
        found->second->bytes = bytes;
        return;
    }
    _line.push_back({point, message, bytes});
    _byPoint[point] = std::prev(_line.end());
}

long PublishRateLimit::release(long wait, const Send& send)
{
    refill();
    while (!_line.empty() && mayGo())
    {
        const Waiting next = std::move(_line.front());
        _byPoint.erase(next.point);
        _line.pop_front();
        _messageTokens -= 1;
        // A message larger than the bucket goes when it is full and leaves a debt.
        _byteTokens -= static_cast<double>(next.bytes);
        send(next.message);
    }
    return _line.empty() ? wait : std::min(wait, msUntilNext());
}

void PublishRateLimit::refill()
{
    const double seconds = static_cast<double>(_refilled.elapsed()) / 1e6;
    _refilled.update();
    _messageTokens = std::min(capacityOf(_messagesPerSecond), _messageTokens + seconds * _messagesPerSecond);
    _byteTokens = std::min(capacityOf(_bytesPerSecond), _byteTokens + seconds * _bytesPerSecond);
}

bool PublishRateLimit::mayGo() const
{
    return (_messagesPerSecond <= 0 || _messageTokens >= 1) && (_bytesPerSecond <= 0 || _byteTokens > 0);
}

long PublishRateLimit::msUntilNext() const
{
    double seconds = 0;
    if (_messagesPerSecond > 0 && _messageTokens < 1)
    {
        seconds = (1 - _messageTokens) / _messagesPerSecond;
    }
    if (_bytesPerSecond > 0 && _byteTokens <= 0)
    {
        seconds = std::max(seconds, (1 - _byteTokens) / _bytesPerSecond);
    }
    return std::max(1L, static_cast<long>(std::ceil(seconds * 1000)));
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
