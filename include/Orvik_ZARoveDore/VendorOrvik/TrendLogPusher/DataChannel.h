#pragma once

#include <Poco/Types.h>

#include <optional>
#include <string>

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnet/WS/MarkupFactory.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// One property logged by a trend log (a channel): the logged device, object, property and array index
/// as the trend log lists them, the trend log's own device, and descriptive properties of the logged
/// object and of its device. A plain value; the fields that were never read keep their defaults, which
/// the markup recognises and leaves out.
class DataChannel
{
public:
    /// What is known of the logged object and its device.
    class Properties
    {
    public:
        std::string deviceName;             ///< object name of the device
        Poco::UInt32 vendorIdentifier = 0;  ///< of the device
        std::string vendorName;             ///< of the device
        std::string modelName;              ///< of the device
        std::string objName;                ///< object name of the logged object
        // Empty: not read. Every number is a value a device may hold (65535 is a proprietary unit
        // and reliability, 4294967295 an accumulator's maximum), so none can mark "not read".
        std::optional<BACNET_RELIABILITY> reliability;
        std::optional<BACNET_ENGINEERING_UNITS> units;
        std::optional<Poco::UInt32> maxPresentValue;  ///< accumulators only

        /// True for the model name, object name, vendor identifier and vendor name; false for the
        /// maximum present value, reliability and units. Throws Poco::InvalidArgumentException for
        /// any other property.
        static bool isRequired(BACNET_PROPERTY_ID propertyIdentifier);

        /// Takes over a property value read from the logged object's device object.
        void setDeviceValue(BACNET_PROPERTY_ID propertyIdentifier, const ValueContainer& value);
        /// Takes over a property value read from the logged object.
        void setObjectValue(BACNET_PROPERTY_ID propertyIdentifier, const ValueContainer& value);
    };

    DataChannel(const DataType::ObjectIdentifier& parentDeviceIdentifier,
                const DataType::BACnetDeviceObjectPropertyReference& propRef);

    /// The device to ask about the logged object: the reference's device, or the trend log's own
    /// device when the reference names none.
    DataType::ObjectIdentifier getLoggedDeviceIdentifier() const;

    /// Writes the channel as a Sequence named by the decimal `name`: its unique identifier, the
    /// device's vendor and model, the device and object names, the reference itself, and the
    /// reliability, units and maximum present value when they were read. `openArray` becomes the
    /// element's startArray. Exceptions of the writer pass.
    void markup(WS::MarkupFactory& mf, Poco::UInt32 name, bool openArray) const;

    const DataType::BACnetDeviceObjectPropertyReference propRef;
    const DataType::ObjectIdentifier parentDeviceIdentifier;
    Properties props;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
