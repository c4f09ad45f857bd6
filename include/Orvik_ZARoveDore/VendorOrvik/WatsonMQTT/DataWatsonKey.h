#pragma once

#include <string>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// Names one published or commandable value on the platform: the device type and device id of the
/// device it belongs to, and the property id (the BACnet object's name).
///
/// String form: deviceType, TAB, deviceId, TAB, propertyId. Parsing splits at every TAB, keeps empty
/// fields and trims nothing; anything but exactly three fields throws Poco::InvalidArgumentException
/// "Wrong nr. of items in Watson key".
class DataWatsonKey
{
public:
    static const char _SEPARATOR = '\t';

    DataWatsonKey() = default;
    DataWatsonKey(const std::string& aDeviceType, const std::string& aDeviceId,
                  const std::string& aPropertyId);
    explicit DataWatsonKey(const std::string& key);

    /// Writes the string form to `out` and returns it.
    std::string& getKey(std::string& out) const;
    std::string getKey() const;

    std::string deviceType;
    std::string deviceId;
    std::string propertyId;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
