#include "Orvik_ZARoveDore/Demo/AppWhoIs.h"

#include <Poco/Exception.h>

#include <iostream>
#include <sstream>
#include <vector>

#include "Orvik_BACnetClient/NotificationRequestWhoIs.h"
#include "Orvik_BACnetClient/NotificationResponse.h"

namespace Orvik::BACnet::App
{

namespace
{

const std::size_t PARAMETER_COUNT = 4;
const std::size_t PARAMETER_NETWORK = 0;
const std::size_t PARAMETER_MAC = 1;
const std::size_t PARAMETER_LOW_LIMIT = 2;
const std::size_t PARAMETER_HIGH_LIMIT = 3;

}  // namespace

AppWhoIs::AppWhoIs(Poco::Int32 idAppInstance) : AppBase(idAppInstance) {}

bool AppWhoIs::descRun()
{
    sendWhoIs();
    for (;;)
    {
        Poco::AutoPtr<Poco::Notification> pNf = waitDequeueNotification(_WAIT_FOREVER);
        if (const auto* pIAm =
                dynamic_cast<const Client::NotificationResponse<Client::DataResponseWhoIs>*>(pNf.get()))
        {
            printResponse(pIAm->getResponse());
        }
        else if (const auto* pError = dynamic_cast<const Client::NotificationResponse<DataError>*>(pNf.get()))
        {
            printEnd(pError->getResponse());
            return false;
        }
        else if (handleNotification(pNf))
        {
            return false;
        }
    }
}

void AppWhoIs::sendWhoIs()
{
    std::vector<ValueContainer> parameters;
    getProperties(parameters);
    if (parameters.size() < PARAMETER_COUNT)
    {
        throw Poco::InvalidArgumentException("To few App parameters");
    }
    DataType::BACnetAddress address;
    address.setNetworkNumber(static_cast<Poco::UInt16>(parameters[PARAMETER_NETWORK].getUInt()));
    address.setMAC(parameters[PARAMETER_MAC].getString(", "));
    asyncWhoIs(address, parameters[PARAMETER_LOW_LIMIT].getInt(), parameters[PARAMETER_HIGH_LIMIT].getInt());
}

void AppWhoIs::printResponse(const Client::DataResponseWhoIs& response) const
{
    std::string mac;
    std::ostringstream line;
    line << "Received I-Am Request from device: " << response.deviceInstance
         << " with vendor ID: " << response.vendorID << ", Network = " << response.address.getNetworkNumber()
         << ", MAC = " << response.address.getString(mac, true) << '\n';
    std::cout << line.str() << std::flush;
}

const std::string& AppWhoIs::appName() const
{
    static const std::string name = "AppWhoIs ";
    return name;
}

void AppWhoIs::printEnd(const DataError& error) const
{
    if (Client::NotificationRequestWhoIs::isEndOfWindow(error))
    {
        std::cout << appName() << " FINISHED " << std::endl;
    }
    else
    {
        std::cerr << appName() << error.getString() << std::endl;
    }
}

}  // namespace Orvik::BACnet::App
