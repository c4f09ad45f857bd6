#include "Orvik_ZARoveDore/Demo/RPMResponsePrinter.h"

#include <iostream>
#include <sstream>

#include "Orvik_ZARoveDore/AppBase.h"

namespace Orvik::BACnet::App
{

void RPMResponsePrinter::print(const std::string& heading,
                               const std::vector<Client::DataResponseRPM>& responses,
                               bool skipDeviceAddressBinding)
{
    std::ostringstream out;
    std::ostringstream errors;
    out << heading;
    for (const Client::DataResponseRPM& response : responses)
    {
        const BACNET_OBJECT_TYPE objectType = response.objectIdentifier.getObjectType();
        const bool skipBinding = skipDeviceAddressBinding && objectType == OBJECT_DEVICE;
        AppBase::printObjectHeader(out, response.objectIdentifier, "\t");
        for (const Client::DataResponseRPM::Value& entry : response.values)
        {
            if (skipBinding && entry.propertyRef.propertyIdentifier == PROP_DEVICE_ADDRESS_BINDING)
            {
                continue;
            }
            AppBase::printPropertyHeader(out, objectType, entry.propertyRef, "\t\t");
            if (entry.hasError())
            {
                AppBase::printError(errors, entry.error, "\t\t\t");
            }
            else
            {
                AppBase::printPropertyValue(out, entry.value, "\t\t\t");
            }
        }
    }
    std::cout << out.str() << std::flush;
    std::cerr << errors.str() << std::flush;
}

}  // namespace Orvik::BACnet::App
