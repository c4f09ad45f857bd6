#include "Orvik_BACnet/Clock.h"

#include <Poco/Clock.h>

namespace Orvik::BACnet
{

namespace
{

class SystemClock : public Clock
{
public:
    Poco::Int64 milliseconds() const override { return Poco::Clock().raw() / 1000; }
    Poco::UInt64 addWaker(Waker) override { return 0; }
    void removeWaker(Poco::UInt64) override {}
};

}  // namespace

Clock& Clock::system()
{
    static SystemClock clock;
    return clock;
}

}  // namespace Orvik::BACnet
