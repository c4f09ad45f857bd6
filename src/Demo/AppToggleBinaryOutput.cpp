#include "Orvik_ZARoveDore/Demo/AppToggleBinaryOutput.h"

#include <Poco/Exception.h>
#include <Poco/Random.h>

#include <algorithm>
#include <iostream>
#include <limits>
#include <vector>

#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"
#include "Orvik_ZARoveDore/Demo/DataCrazyRelay.h"

namespace Orvik::BACnet::App
{

namespace
{

using Relay = Orvik::BACnet::App::DataType::DataCrazyRelay;
using PropertyReference = Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference;

const std::size_t GROUP_SIZE = 5;
const std::size_t MIN_PARAMETER_COUNT = 4;
const std::size_t GROUP_ENABLED = 0;
const std::size_t GROUP_REFERENCE = 1;
const std::size_t GROUP_FIRST_PRIORITY = 2;
const std::size_t GROUP_UNUSED = 3;
const std::size_t GROUP_START_DELAY_BOUND = 4;
/// Size of the random generator's state, in bytes.
const int RANDOM_STATE_SIZE = 256;
/// Wait without a time limit.
const long NO_TIME_LIMIT = -1;

ValueContainer binaryValue(Poco::UInt32 onOff)
{
    ValueContainer value;
    value.setEnum(onOff);
    return value;
}

/// A random number of milliseconds in [0, bound); 0 for a bound of 0.
long randomBelow(Poco::Random& random, Poco::UInt64 bound)
{
    if (bound == 0)
    {
        return 0;
    }
    const Poco::UInt64 limited = std::min<Poco::UInt64>(bound, std::numeric_limits<Poco::UInt32>::max());
    return static_cast<long>(random.next(static_cast<Poco::UInt32>(limited)));
}

void setDue(Relay& relay, long milliseconds)
{
    relay.clk.update();
    relay.clk += static_cast<Poco::Clock::ClockDiff>(milliseconds) * 1000;
}

long millisecondsUntilDue(const Relay& relay)
{
    return static_cast<long>(std::max<Poco::Clock::ClockDiff>(-relay.clk.elapsed(), 0) / 1000);
}

}  // namespace

AppToggleBinaryOutput::AppToggleBinaryOutput(Poco::Int32 idAppInstance) : AppBase(idAppInstance) {}

bool AppToggleBinaryOutput::descRun()
{
    Poco::Random random(RANDOM_STATE_SIZE);
    random.seed();
    std::vector<Relay> relays;
    long wait = NO_TIME_LIMIT;
    try
    {
        std::vector<ValueContainer> parameters;
        getProperties(parameters);
        if (parameters.size() < MIN_PARAMETER_COUNT)
        {
            throw Poco::InvalidArgumentException("To few App parameters");
        }
        for (std::size_t group = 0; group + GROUP_SIZE <= parameters.size(); group += GROUP_SIZE)
        {
            if (!parameters[group + GROUP_ENABLED].getBool())
            {
                continue;
            }
            PropertyReference reference;
            parameters[group + GROUP_REFERENCE].getValue(reference);
            const Poco::UInt32 firstPriority = parameters[group + GROUP_FIRST_PRIORITY].getUInt();
            parameters[group + GROUP_UNUSED].getUInt();  // not used, but must be a number
            const Poco::UInt64 delayBound = parameters[group + GROUP_START_DELAY_BOUND].getUInt();
            Relay relay(reference, _WRITE_PRIORITY, _ON_TIME_MS, _MAX_OFF_TIME_MS);
            const long delay = randomBelow(random, delayBound * 1000);
            setDue(relay, delay);
            relays.push_back(relay);
            asyncWP(relay, firstPriority, binaryValue(0));
            wait = std::max(wait == NO_TIME_LIMIT ? delay : std::min(wait, delay), _MIN_WAIT_MS);
        }
    }
    catch (std::exception&)
    {
        std::cerr << "Errors in Crazy Relay Parameters" << std::endl;
        if (relays.empty())
        {
            return false;
        }
    }
    _ackReceived = false;

    for (;;)
    {
        Poco::AutoPtr<Poco::Notification> pNf = waitDequeueNotification(wait);
        if (pNf)
        {
            if (auto* pRefused =
                    dynamic_cast<Client::NotificationResponsePropertyAccess<DataError>*>(pNf.get()))
            {
                std::cerr << appName() << pRefused->getResponse().getString() << std::endl;
            }
            else if (handleNotification(pNf))
            {
                return false;
            }
            _ackReceived = true;
        }
        if (!_ackReceived)
        {
            continue;  // no answer since the last writes: the same wait again
        }
        wait = NO_TIME_LIMIT;
        for (Relay& relay : relays)
        {
            long next = 0;
            if (relay.clk.elapsed() >= 0)
            {
                next = relay.onOff != 0 ? randomBelow(random, relay.maxOffTime) : relay.onTime;
                relay.onOff = relay.onOff != 0 ? 0 : 1;
                _ackReceived = false;
                asyncWP(relay, relay.writePriority, binaryValue(relay.onOff));
                setDue(relay, next);
            }
            else
            {
                next = millisecondsUntilDue(relay);
            }
            next = std::max(next, _MIN_WAIT_MS);
            wait = wait == NO_TIME_LIMIT ? next : std::min(wait, next);
        }
    }
}

const std::string& AppToggleBinaryOutput::appName() const
{
    static const std::string name = "AppToggleBinaryOutput ";
    return name;
}

}  // namespace Orvik::BACnet::App
