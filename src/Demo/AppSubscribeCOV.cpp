#include "Orvik_ZARoveDore/Demo/AppSubscribeCOV.h"

#include <Poco/Clock.h>
#include <Poco/DateTimeFormat.h>
#include <Poco/DateTimeFormatter.h>
#include <Poco/Exception.h>
#include <Poco/Timestamp.h>

#include <algorithm>
#include <iostream>
#include <mutex>
#include <sstream>

#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"
#include "Orvik_BACnet/ObjectTypeTraits.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "Orvik_Utility/TerminalModifier.h"
#include "Orvik_ZARoveDore/Demo/ProgramRunner.h"

namespace Orvik::BACnet::App
{

namespace
{

using Orvik::Utility::Terminal::Modifier;

const std::size_t PARAMETER_COUNT = 4;
const std::size_t PARAMETER_CONFIRMED = 0;
const std::size_t PARAMETER_LIFETIME = 1;
const std::size_t PARAMETER_COV_INCREMENT = 2;
const std::size_t PARAMETER_OBJECTS = 3;

/// The objects that feed the display's temperature labels.
const Poco::UInt32 INTERNAL_TEMPERATURE_INPUT = 47;
const Poco::UInt32 ROOM_TEMPERATURE_INPUT = 48;
/// Characters of a temperature shown.
const std::size_t TEMPERATURE_WIDTH = 5;

/// The first redraw is due at once: the last one counts as this long ago.
const Poco::Clock::ClockDiff FIRST_REDRAW_AGE_US = 10000000;
/// Changes other than the door's are shown at most this often.
const Poco::Clock::ClockDiff REDRAW_INTERVAL_US = 1500000;

/// What the display shows, shared by every instance of the app for the life of the process.
struct DisplayState
{
    std::mutex mutex;
    std::string strIntTemp = "?";
    std::string strRoomTemp = "?";
    std::string strPulses01 = "?";
    std::string strOnOff = "?";
    bool changeForDisplay = false;
    bool firstCall = true;
    Poco::Clock clk;
};

DisplayState& displayState()
{
    static DisplayState state;
    return state;
}

/// Takes the value of one monitored object into its label; true for a door change (shown at once).
bool updateLabel(DisplayState& state, const DataType::ObjectIdentifier& object, const ValueContainer& value)
{
    switch (object.getObjectType())
    {
        case OBJECT_ANALOG_INPUT:
            if (object.getInstance() == INTERNAL_TEMPERATURE_INPUT)
            {
                state.strIntTemp = value.getText().substr(0, TEMPERATURE_WIDTH);
            }
            else if (object.getInstance() == ROOM_TEMPERATURE_INPUT)
            {
                state.strRoomTemp = value.getText().substr(0, TEMPERATURE_WIDTH);
            }
            return false;
        case OBJECT_PULSE_CONVERTER:
            state.strPulses01 = value.getText();
            return false;
        default:
            break;
    }
    // The door contact: a binary input or output, never a binary value object.
    if (ObjectTypeTraits::isBinary(object.getObjectType()) &&
        !ObjectTypeTraits::isValueObject(object.getObjectType()))
    {
        const bool closed = value.getAppTag() == BACNET_APPLICATION_TAG_ENUMERATED && value.getEnum() == 0;
        state.strOnOff = closed ? "Closed" : "Open";
        return true;
    }
    return false;
}

std::string objectText(const DataType::ObjectIdentifier& object)
{
    return std::to_string(static_cast<unsigned>(object.getObjectType())) + ", " +
           std::to_string(object.getInstance());
}

}  // namespace

AppSubscribeCOV::AppSubscribeCOV(Poco::Int32 idAppInstance, long cancelTimeoutMs)
    : AppBase(idAppInstance), _cancelTimeoutMs(cancelTimeoutMs)
{
}

bool AppSubscribeCOV::descRun()
{
    Parameters params;
    std::vector<Client::DataPropertyKey> keys;
    getParameters(params, keys);
    params.subscriberProcessIdentifier = getNewCOVSubscriberProcessIdentifier();
    if (params.subscriberProcessIdentifier == 0)
    {
        return false;
    }
    const Poco::Int64 period = renewalPeriod(params.lifetime);
    std::cout << "SUBSCRIPTION TIMOUT: " << period << " microSeconds" << std::endl;

    bool subscribeDue = true;  // the first pass subscribes at once
    Poco::Clock renewalClock;
    Poco::Clock cancelStart;
    for (;;)
    {
        if (subscribeDue || params.cancelation || (period > 0 && renewalClock.isElapsed(period)))
        {
            subscribeAll(keys, params);
            renewalClock.update();
            subscribeDue = false;
        }
        if (params.cancelation && (keys.empty() || cancelStart.isElapsed(_cancelTimeoutMs * 1000)))
        {
            break;  // nothing to cancel, or no device answers the cancellation
        }
        Poco::AutoPtr<Poco::Notification> pNf = waitDequeueNotification(_displayTimeout);
        if (!pNf)
        {
            printResponse(nullptr);
        }
        else if (auto* pCOV = dynamic_cast<Client::NotificationResponse<Client::DataResponseCOV>*>(pNf.get()))
        {
            printResponse(&pCOV->getResponse());
        }
        else if (auto* pAck = dynamic_cast<Client::NotificationResponsePropertyAccess<int>*>(pNf.get()))
        {
            printSuccessResponse(pAck);
            if (params.cancelation)
            {
                break;
            }
        }
        else if (auto* pFail = dynamic_cast<Client::NotificationResponseObjectAccess<DataError>*>(pNf.get()))
        {
            printErrorResponse(pFail);
        }
        else if (handleNotification(pNf) && !params.cancelation)
        {
            params.cancelation = true;  // the next pass sends the cancellations
            cancelStart.update();
        }
    }
    showNetworkView();
    return false;
}

void AppSubscribeCOV::getParameters(Parameters& params, std::vector<Client::DataPropertyKey>& keys)
{
    std::vector<ValueContainer> properties;
    getProperties(properties);
    std::cout << appName() << ": properties.size()=" << properties.size() << std::endl;
    if (properties.size() < PARAMETER_COUNT)
    {
        throw Poco::InvalidArgumentException("To few App parameters");
    }
    params.cancelation = false;
    params.confirmedNotification = properties[PARAMETER_CONFIRMED].getBool();
    params.lifetime = properties[PARAMETER_LIFETIME].getUInt();
    const ValueContainer& increment = properties[PARAMETER_COV_INCREMENT];
    params.covIncrement = increment.isNull() ? 0.0f : increment.getReal();
    params.covIncrementPresent = params.covIncrement > 0.0f;
    const ValueContainer& objects = properties[PARAMETER_OBJECTS];
    if (!objects.isNull())
    {
        std::vector<DataType::BACnetDeviceObjectReference> references;
        objects.getValues(references);
        keys.clear();
        for (const DataType::BACnetDeviceObjectReference& reference : references)
        {
            keys.emplace_back(Client::DataObjectKey(reference), MAX_BACNET_PROPERTY_ID);
        }
    }
}

Poco::Int64 AppSubscribeCOV::renewalPeriod(Poco::UInt32 lifetime)
{
    if (lifetime == 0)
    {
        return 0;
    }
    return std::max<Poco::Int64>(static_cast<Poco::Int64>(lifetime / 2) * 1000000, _MIN_RENEWAL_US);
}

void AppSubscribeCOV::subscribeAll(const std::vector<Client::DataPropertyKey>& keys, const Parameters& params)
{
    for (const Client::DataPropertyKey& key : keys)
    {
        asyncSubscribeCOV(key, params);
    }
}

void AppSubscribeCOV::printResponse(const Client::DataResponseCOV* response) const
{
    DisplayState& state = displayState();
    const std::lock_guard<std::mutex> lock(state.mutex);
    if (state.firstCall)
    {
        state.firstCall = false;
        state.clk.update();
        state.clk -= FIRST_REDRAW_AGE_US;
    }
    bool doorChanged = false;
    if (response != nullptr)
    {
        state.changeForDisplay = true;
        if (!response->values.empty())
        {
            doorChanged =
                updateLabel(state, response->monitoredObjectIdentifier, response->values.front().value);
        }
    }
    if (doorChanged || (state.changeForDisplay && state.clk.isElapsed(REDRAW_INTERVAL_US)))
    {
        ProgramRunner::run(displayCommand(_displayPythonPath, state.strIntTemp, state.strRoomTemp,
                                          state.strPulses01, state.strOnOff));
        state.changeForDisplay = false;
        state.clk.update();
    }
}

std::vector<std::string> AppSubscribeCOV::displayCommand(const std::string& prefix,
                                                         const std::string& intTemp,
                                                         const std::string& roomTemp,
                                                         const std::string& pulses, const std::string& onOff)
{
    static const std::string DEGREES_CELSIUS =
        "\xB0"
        "C";
    std::vector<std::string> command = ProgramRunner::splitWords(prefix + "cov.py");
    command.insert(command.end(), {"Int Tmp:", intTemp + DEGREES_CELSIUS, "Rm Tmp:",
                                   roomTemp + DEGREES_CELSIUS, "Puls Cnt:", pulses, "Door:", onOff});
    return command;
}

void AppSubscribeCOV::showNetworkView() const
{
    ProgramRunner::run(ProgramRunner::splitWords(_displayPythonPath + "network.py"));
}

void AppSubscribeCOV::printSuccessResponse(Client::NotificationResponsePropertyAccess<int>* ack)
{
    std::ostringstream out;
    out << Modifier(Modifier::FG_GREEN) << '\n'
        << Poco::DateTimeFormatter::format(Poco::Timestamp(), Poco::DateTimeFormat::SORTABLE_FORMAT) << ' '
        << appName() << ", SubscribCOV ACK received:\n"
        << "\tDevice Instance: " << ack->getDeviceInstance() << '\n'
        << "\tObject(type,instance): " << objectText(ack->getObjectIdentifier()) << '\n'
        << Modifier(Modifier::FG_DEFAULT);
    std::cout << out.str() << std::flush;
}

void AppSubscribeCOV::printErrorResponse(Client::NotificationResponseObjectAccess<DataError>* fail)
{
    std::ostringstream out;
    out << Modifier(Modifier::FG_RED) << '\n'
        << appName() << ", SubscribCOV FAIL received:\n"
        << "\tDevice Instance: " << fail->getDeviceInstance() << '\n'
        << "\tObject(type,instance): " << objectText(fail->getObjectIdentifier()) << '\n'
        << '\t' << fail->getResponse().getString() << '\n'
        << Modifier(Modifier::FG_DEFAULT);
    std::cout << out.str() << std::flush;
}

const std::string& AppSubscribeCOV::appName() const
{
    static const std::string name = "AppSubscribeCOV ";
    return name;
}

}  // namespace Orvik::BACnet::App
