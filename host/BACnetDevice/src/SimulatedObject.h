#pragma once

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/Codec/PropertyReference.h"
#include "Orvik_BACnet/Codec/PropertyValue.h"
#include "Orvik_BACnet/Codec/ServiceError.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnet/ValueContainer.h"

#include <Poco/Timestamp.h>
#include <Poco/Types.h>

#include <string>
#include <vector>

namespace Orvik::BACnet::Device
{

/// One object of a simulated device: a set of properties, each held as a value or computed when read
/// (present value, log buffer, object list, ...), read and written by the rules of the standard.
///
/// Reading: an unknown property gives property / unknown-property; an array index on a property that is
/// no array gives property / property-is-not-an-array; index 0 of an array gives its element count, an
/// index beyond it property / invalid-array-index. Writing: every property is read-only
/// (property / write-access-denied) unless a subclass allows it; object-name and description accept a
/// character string here.
///
/// Not thread-safe: the simulated site serialises all access.
class SimulatedObject
{
public:
    SimulatedObject(const DataType::ObjectIdentifier& identifier, const std::string& name);
    virtual ~SimulatedObject();

    const DataType::ObjectIdentifier& getIdentifier() const { return _identifier; }
    std::string getName() const;

    /// Sets a property to a fixed value; a new property is added after the others.
    void setProperty(BACNET_PROPERTY_ID property, const ValueContainer& value);
    bool hasProperty(BACNET_PROPERTY_ID property) const;
    /// True for a property whose value the object computes (it cannot be set to a fixed value).
    bool isComputed(BACNET_PROPERTY_ID property) const;
    /// The properties in the order the object lists them; `which` is PROP_ALL, PROP_REQUIRED or
    /// PROP_OPTIONAL (required as the standard's table says for the object type).
    std::vector<BACNET_PROPERTY_ID> listProperties(BACNET_PROPERTY_ID which) const;

    /// ReadProperty: the value (whole or one array element), or the error.
    Codec::ServiceError read(const Codec::PropertyReference& ref, const Poco::Timestamp& now,
                             ValueContainer& out) const;
    /// WriteProperty with `priority` (1 to 16; used by commandable properties).
    virtual Codec::ServiceError write(const Codec::PropertyReference& ref, Poco::UInt32 priority,
                                      const ValueContainer& value);

    /// The values a change-of-value notification carries for a subscription to `property`
    /// (MAX_BACNET_PROPERTY_ID: the whole object); empty when that cannot be subscribed.
    virtual std::vector<Codec::PropertyValue> covValues(BACNET_PROPERTY_ID property,
                                                        const Poco::Timestamp& now) const;
    /// The change of a REAL present value that is worth a notification (0: every change).
    virtual float covIncrement() const;

    /// Brings values that change by themselves (drift) up to `now`.
    virtual void advance(const Poco::Timestamp& now);

    /// True when `value` holds one element of `dataType` (a NULL element for BACNET_DT_NULL).
    static bool holdsSingle(const ValueContainer& value, BACnetDataType dataType);
    static Codec::ServiceError propertyError(BACNET_ERROR_CODE code);

protected:
    /// Adds a property whose value readDynamic() computes.
    void addDynamicProperty(BACNET_PROPERTY_ID property);
    /// The whole value of a dynamic property, or its error.
    virtual Codec::ServiceError readDynamic(BACNET_PROPERTY_ID property, const Poco::Timestamp& now,
                                            ValueContainer& out) const;
    /// The fixed value of a property (null when the object has no such fixed property).
    const ValueContainer* fixedValue(BACNET_PROPERTY_ID property) const;

private:
    class Property
    {
    public:
        BACNET_PROPERTY_ID id;
        ValueContainer value;
        bool dynamic;
    };

    const Property* find(BACNET_PROPERTY_ID property) const;
    Codec::ServiceError readWhole(BACNET_PROPERTY_ID property, const Poco::Timestamp& now,
                                  ValueContainer& out) const;
    ValueContainer propertyList() const;
    static Codec::ServiceError readElement(const ValueContainer& whole, Poco::UInt32 arrayIndex,
                                           ValueContainer& out);

    const DataType::ObjectIdentifier _identifier;
    std::vector<Property> _properties;
};

}  // namespace Orvik::BACnet::Device
