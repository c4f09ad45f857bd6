#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataWatsonKey.h"

#include <Poco/Exception.h>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

DataWatsonKey::DataWatsonKey(const std::string& aDeviceType, const std::string& aDeviceId,
                             const std::string& aPropertyId)
    : deviceType(aDeviceType), deviceId(aDeviceId), propertyId(aPropertyId)
{
}

DataWatsonKey::DataWatsonKey(const std::string& key)
{
    const std::string::size_type first = key.find(_SEPARATOR);
    const std::string::size_type second =
        first == std::string::npos ? first : key.find(_SEPARATOR, first + 1);
    if (second == std::string::npos || key.find(_SEPARATOR, second + 1) != std::string::npos)
    {
        throw Poco::InvalidArgumentException("Wrong nr. of items in Watson key");
    }
    deviceType = key.substr(0, first);
    deviceId = key.substr(first + 1, second - first - 1);
    propertyId = key.substr(second + 1);
}

std::string& DataWatsonKey::getKey(std::string& out) const
{
    out = deviceType;
    out += _SEPARATOR;
    out += deviceId;
    out += _SEPARATOR;
    out += propertyId;
    return out;
}

std::string DataWatsonKey::getKey() const
{
    std::string out;
    return getKey(out);
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
