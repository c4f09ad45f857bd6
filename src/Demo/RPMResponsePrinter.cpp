#include "Orvik_ZARoveDore/Demo/RPMResponsePrinter.h"

#include <iostream>

#include "Orvik_ZARoveDore/AppBase.h"

namespace Orvik::BACnet::App
{

void RPMResponsePrinter::print(const std::vector<Client::DataResponseRPM>& responses,
                               bool skipDeviceAddressBinding)
{
    for (const Client::DataResponseRPM& response : responses)
    {
        const BACNET_OBJECT_TYPE objectType = response.objectIdentifier.getObjectType();
        const bool skipBinding = skipDeviceAddressBinding && objectType == OBJECT_DEVICE;
        AppBase::printObjectHeader(std::cout, response.objectIdentifier, "\t");
        for (const Client::DataResponseRPM::Value& entry : response.values)
        {
            if (skipBinding && entry.propertyRef.propertyIdentifier == PROP_DEVICE_ADDRESS_BINDING)
            {
                continue;
            }
            AppBase::printPropertyHeader(std::cout, objectType, entry.propertyRef, "\t\t");
            if (entry.hasError())
            {
                AppBase::printError(std::cerr, entry.error, "\t\t\t");
            }
            else
            {
                AppBase::printPropertyValue(std::cout, entry.value, "\t\t\t");
            }
        }
    }
}

}  // namespace Orvik::BACnet::App
