#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>

#include "Orvik_BACnet/BACnetDataType.h"
#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "Orvik_BACnet/DataType/BACnetDateTime.h"
#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"
#include "Orvik_BACnet/DataType/BACnetLogRecord.h"
#include "Orvik_BACnet/DataType/BACnetObjectPropertyReference.h"
#include "Orvik_BACnet/DataType/BACnetTimeStamp.h"
#include "Orvik_BACnet/DataType/BitString.h"
#include "Orvik_BACnet/DataType/Date.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnet/DataType/Proprietary/VendorOrvik/BACnetTrendLogLastUploaded.h"
#include "Orvik_BACnet/DataType/Time.h"

namespace Orvik::BACnet
{

namespace DataType
{

/// OCTET STRING (the octets in a std::string).
struct OctetString
{
    std::string octets;
    bool operator==(const OctetString& other) const { return octets == other.octets; }
};

/// ENUMERATED (kept apart from Unsigned).
struct Enumerated
{
    std::uint32_t value = 0;
    bool operator==(const Enumerated& other) const { return value == other.value; }
};

}  // namespace DataType

/// The alternatives of BACnetValue; indexes 0..12 are the application tags.
using BACnetValueStorage =
    std::variant<std::monostate, bool, std::uint64_t, std::int64_t, float, double, DataType::OctetString,
                 std::string, DataType::BitString, DataType::Enumerated, DataType::Date, DataType::Time,
                 DataType::ObjectIdentifier, DataType::BACnetDateTime, DataType::BACnetTimeStamp,
                 DataType::BACnetObjectPropertyReference, DataType::BACnetDeviceObjectReference,
                 DataType::BACnetDeviceObjectPropertyReference, DataType::BACnetAddress,
                 DataType::BACnetLogRecord, DataType::Proprietary::VendorOrvik::BACnetTrendLogLastUploaded>;

template <class T, class V>
struct IsBACnetValueAlternative;
template <class T, class... A>
struct IsBACnetValueAlternative<T, std::variant<A...>> : std::disjunction<std::is_same<T, A>...>
{
};

/// One BACnet value: a primitive (NULL, BOOLEAN, Unsigned, INTEGER, REAL, Double, OCTET STRING,
/// CharacterString, BIT STRING, ENUMERATED, Date, Time, BACnetObjectIdentifier) or one of the
/// constructed datatypes this layer holds. The element type of ValueContainer.
///
/// Held by value in a std::variant: no heap use except for bit strings and for strings longer than the
/// library's small string buffer (15 octets). A default-constructed value is the BACnet NULL.
class BACnetValue
{
public:
    using OctetString = DataType::OctetString;
    using Enumerated = DataType::Enumerated;

    /// The alternatives; indexes 0..12 are the application tags, then the constructed datatypes.
    using Storage = BACnetValueStorage;

    template <class T>
    static constexpr bool isAlternative()
    {
        return IsBACnetValueAlternative<T, Storage>::value;
    }

    /// BACnet NULL.
    BACnetValue() = default;

    /// A value of one of the alternatives, exactly (std::uint64_t for Unsigned, std::int64_t for
    /// INTEGER, std::string for CharacterString, ...); the make... functions below spell it out.
    template <class T, class = std::enable_if_t<isAlternative<std::decay_t<T>>()>>
    explicit BACnetValue(T&& value) : _storage(std::forward<T>(value))
    {
    }

    /// A value holding whatever `storage` holds.
    explicit BACnetValue(Storage storage) : _storage(std::move(storage)) {}
    /// The default value of a datatype this class holds (NULL for any other datatype).
    static BACnetValue defaultOf(BACnetDataType dataType);

    static BACnetValue makeBoolean(bool value) { return BACnetValue(value); }
    static BACnetValue makeUnsigned(std::uint64_t value) { return BACnetValue(value); }
    static BACnetValue makeSigned(std::int64_t value) { return BACnetValue(value); }
    static BACnetValue makeReal(float value) { return BACnetValue(value); }
    static BACnetValue makeDouble(double value) { return BACnetValue(value); }
    static BACnetValue makeOctetString(std::string octets)
    {
        return BACnetValue(OctetString{std::move(octets)});
    }
    static BACnetValue makeCharacterString(std::string text) { return BACnetValue(std::move(text)); }
    static BACnetValue makeEnumerated(std::uint32_t value) { return BACnetValue(Enumerated{value}); }

    /// The datatype of the held alternative.
    BACnetDataType getDataType() const;
    /// The application tag of a primitive; MAX_BACNET_APPLICATION_TAG for a constructed value.
    BACNET_APPLICATION_TAG getApplicationTag() const;
    bool isNull() const { return _storage.index() == 0; }

    template <class T>
    const T* getIf() const
    {
        return std::get_if<T>(&_storage);
    }
    /// The held T; throws Poco::BadCastException when the value holds another datatype.
    template <class T>
    const T& get() const
    {
        const T* p = std::get_if<T>(&_storage);
        if (p == nullptr)
        {
            throwBadCast(dataTypeOf(Storage(std::in_place_type<T>).index()));
        }
        return *p;
    }
    const Storage& storage() const { return _storage; }

    /// Conversions used by ValueContainer's getters. Numbers (BOOLEAN, Unsigned, INTEGER, REAL, Double,
    /// ENUMERATED) convert into each other, saturating at the target's range (NaN gives 0); NULL gives
    /// 0, false, "" or the default date/time. Any other datatype throws Poco::BadCastException.
    bool toBool() const;
    std::uint64_t toUInt64() const;
    std::int64_t toInt64() const;
    double toDouble() const;
    /// CharacterString only (NULL: "").
    const std::string& toCharString() const;
    /// Date, or the date of a BACnetDateTime.
    DataType::Date toDate() const;
    /// Time, or the time of a BACnetDateTime.
    DataType::Time toTime() const;
    /// BACnetObjectIdentifier, or the object of a reference.
    DataType::ObjectIdentifier getObjectIdentifier() const;

    bool operator==(const BACnetValue& other) const { return _storage == other._storage; }
    bool operator!=(const BACnetValue& other) const { return !(_storage == other._storage); }

    /// The BACnetDataType of a variant index.
    static BACnetDataType dataTypeOf(std::size_t index);

private:
    [[noreturn]] void throwBadCast(BACnetDataType wanted) const;

    Storage _storage;
};

}  // namespace Orvik::BACnet
