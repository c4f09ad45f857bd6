#include "Orvik_ZARoveDore/Demo/AppBrowser.h"

#include <algorithm>
#include <iostream>
#include <sstream>

#include "Orvik_BACnetClient/NotificationRequestRPM.h"
#include "Orvik_BACnetClient/NotificationRequestWhoIs.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "Orvik_ZARoveDore/Demo/RPMResponsePrinter.h"

namespace Orvik::BACnet::App
{

namespace
{

/// The Who-Is range: every device instance.
const Poco::UInt32 HIGHEST_DEVICE_INSTANCE = 4194303;

}  // namespace

AppBrowser::AppBrowser(Poco::Int32 aIdAppInstance) : AppBase(aIdAppInstance) {}

bool AppBrowser::descRun()
{
    asyncWhoIs(DataType::BACnetAddress(), 0, HIGHEST_DEVICE_INSTANCE);
    Poco::AutoPtr<Poco::Notification> pNf = waitDequeueNotification(_WAIT_FOREVER);
    std::cout << appName() << std::endl;
    for (;; pNf = waitDequeueNotification(_WAIT_FOREVER))
    {
        if (const auto* pIAm =
                dynamic_cast<const Client::NotificationResponse<Client::DataResponseWhoIs>*>(pNf.get()))
        {
            // A stop request during the reads is put back first in the queue: the next turn sees it.
            printDevice(pIAm->getResponse());
            ReadDevice(pIAm->getResponse().deviceInstance);
        }
        else if (const auto* pError = dynamic_cast<const Client::NotificationResponse<DataError>*>(pNf.get()))
        {
            printEnd(pError->getResponse());
            return false;
        }
        else if (pNf && handleNotification(pNf))
        {
            return false;
        }
    }
}

void AppBrowser::printDevice(const Client::DataResponseWhoIs& iAm) const
{
    std::string mac;
    std::ostringstream line;
    line << "  DeviceObjectIdentifier: " << iAm.deviceInstance << ", Vendor ID: " << iAm.vendorID
         << ", Network nr: " << iAm.address.getNetworkNumber()
         << ", MAC: " << iAm.address.getString(mac, true) << '\n';
    std::cout << line.str() << std::flush;
}

void AppBrowser::printEnd(const DataError& error) const
{
    if (Client::NotificationRequestWhoIs::isEndOfWindow(error))
    {
        std::cout << appName() << " FINISHED " << std::endl;
    }
    else
    {
        printError(std::cerr, error, "\t");
    }
}

void AppBrowser::ReadDevice(Poco::UInt32 deviceObjectInstance)
{
    const Client::DataPropertyKey objectListKey(
        deviceObjectInstance, DataType::ObjectIdentifier(OBJECT_DEVICE, deviceObjectInstance),
        Client::DataPropertyRef(PROP_OBJECT_LIST));
    ValueContainer objectList;
    DataError error;
    switch (syncRP(objectListKey, objectList, &error))
    {
        case SYNC_RESULT_SUCCESS:
            readObjects(deviceObjectInstance, objectList.getBACnetPrimitives());
            break;
        case SYNC_RESULT_FAIL:
            printError(std::cerr, error, "\t");
            break;
        case SYNC_RESULT_STOP:
            break;
    }
}

void AppBrowser::readObjects(Poco::UInt32 deviceObjectInstance, const std::vector<BACnetValue>& objects)
{
    std::vector<Client::NotificationRequestRPM::Parameter> parameters;
    std::vector<Client::DataResponseRPM> values;
    for (std::size_t first = 0; first < objects.size(); first += maxObjectsInOneRequest)
    {
        parameters.clear();
        values.clear();
        const std::size_t end = std::min(objects.size(), first + maxObjectsInOneRequest);
        for (std::size_t i = first; i < end; ++i)
        {
            parameters.emplace_back(objects[i].getObjectIdentifier(),
                                    std::vector<Client::DataPropertyRef>{Client::DataPropertyRef(PROP_ALL)});
        }
        DataError error;
        switch (syncRPM(deviceObjectInstance, parameters, values, &error))
        {
            case SYNC_RESULT_SUCCESS:
                printResult(deviceObjectInstance, values);
                break;
            case SYNC_RESULT_FAIL:
                printError(std::cerr, error, "\t\t");
                break;  // a failed request does not stop the walk
            case SYNC_RESULT_STOP:
                return;  // the app is stopping: the rest of the device is not read
        }
    }
}

void AppBrowser::printResult(Poco::UInt32, const std::vector<Client::DataResponseRPM>& values) const
{
    RPMResponsePrinter::print("", values, true);
}

const std::string& AppBrowser::appName() const
{
    static const std::string name = "AppBrowser";
    return name;
}

}  // namespace Orvik::BACnet::App
