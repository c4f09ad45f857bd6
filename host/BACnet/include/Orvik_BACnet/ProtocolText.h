#pragma once

#include <cstdint>
#include <string>

namespace Orvik::BACnet
{

/// The standard's names (lower case, hyphenated: "analog-input", "present-value") of object types,
/// properties, engineering units, error classes and codes and the smaller enumerations, from the
/// compiled-in tables of data/bacnet. Thread-safe; the tables are built on first use.
class ProtocolText
{
public:
    /// The name of a number; a number without a standard name gives its decimal text.
    static std::string objectTypeName(std::uint32_t objectType);
    static std::string propertyName(std::uint32_t propertyId);
    static std::string engineeringUnitName(std::uint32_t unit);
    static std::string errorClassName(std::uint32_t errorClass);
    static std::string errorCodeName(std::uint32_t errorCode);
    /// A value of an enumeration of enums-misc.csv or of the five tables above, named as in the
    /// standard ("BACnetBinaryPV", "BACnetStatusFlags" (bit numbers), "BACnetEngineeringUnits",
    /// "BACnetObjectType", "BACnetPropertyIdentifier", "BACnetErrorClass", "BACnetErrorCode").
    /// "" when the enumeration or the value is unknown.
    static std::string enumerationName(const std::string& enumeration, std::uint32_t value);

    /// The standard name as a pointer into the table, or nullptr when there is none.
    static const char* findObjectTypeName(std::uint32_t objectType);
    static const char* findPropertyName(std::uint32_t propertyId);

    /// The number of a standard name (exact, lower case); false when it is not one.
    static bool objectTypeIndex(const std::string& name, std::uint32_t& index);
    static bool propertyIndex(const std::string& name, std::uint32_t& index);
    static bool engineeringUnitIndex(const std::string& name, std::uint32_t& index);
    static bool errorClassIndex(const std::string& name, std::uint32_t& index);
    static bool errorCodeIndex(const std::string& name, std::uint32_t& index);
    static bool enumerationIndex(const std::string& enumeration, const std::string& name,
                                 std::uint32_t& index);
};

}  // namespace Orvik::BACnet
