#include "Orvik_ZARoveDore/Demo/AppRPM.h"

#include <iostream>

#include "Orvik_BACnetClient/NotificationRequestRPM.h"
#include "Orvik_ZARoveDore/Demo/RPMResponsePrinter.h"

namespace Orvik::BACnet::App
{

AppRPM::AppRPM(Poco::Int32 idAppInstance) : AppBase(idAppInstance) {}

bool AppRPM::descRun()
{
    const std::vector<Client::NotificationRequestRPM::Parameter> request = {
        {DataType::ObjectIdentifier(OBJECT_TRENDLOG, _TREND_LOG_INSTANCE),
         {Client::DataPropertyRef(PROP_ALL)}}};
    std::cout << "RPM REQUEST SENT!" << std::endl;
    std::vector<Client::DataResponseRPM> responses;
    DataError error;
    switch (syncRPM(_DEVICE_INSTANCE, request, responses, &error))
    {
        case SYNC_RESULT_SUCCESS:
            printResult(_DEVICE_INSTANCE, responses);
            break;
        case SYNC_RESULT_FAIL:
            printError(std::cerr, error, "\t");
            break;
        case SYNC_RESULT_STOP:
            break;
    }
    return false;
}

void AppRPM::printResult(Poco::UInt32 deviceInstance,
                         const std::vector<Client::DataResponseRPM>& responses) const
{
    RPMResponsePrinter::print("\n" + appName() + ", Device: " + std::to_string(deviceInstance) + "\n",
                              responses, false);
}

const std::string& AppRPM::appName() const
{
    static const std::string name = "AppRPM";
    return name;
}

}  // namespace Orvik::BACnet::App
