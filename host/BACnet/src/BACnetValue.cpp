#include "Orvik_BACnet/BACnetValue.h"

#include <cmath>
#include <limits>
#include <utility>

#include <Poco/Exception.h>

namespace Orvik::BACnet
{

namespace
{

using DataType::BACnetDateTime;

// Datatypes of the constructed alternatives, in variant order from index 13.
constexpr BACnetDataType _CONSTRUCTED[] = {
    BACNET_DT_DATE_TIME,
    BACNET_DT_TIME_STAMP,
    BACNET_DT_OBJECT_PROPERTY_REFERENCE,
    BACNET_DT_DEVICE_OBJECT_REFERENCE,
    BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE,
    BACNET_DT_ADDRESS,
    BACNET_DT_LOG_RECORD,
    BACNET_DT_TREND_LOG_LAST_UPLOADED,
};
constexpr std::size_t _FIRST_CONSTRUCTED = BACNET_DT_OBJECT_IDENTIFIER + 1;
static_assert(_FIRST_CONSTRUCTED + std::size(_CONSTRUCTED) == std::variant_size_v<BACnetValueStorage>,
              "every alternative has a datatype");

template <class T>
T saturate(double value)
{
    if (std::isnan(value))
    {
        return 0;
    }
    if (value <= static_cast<double>(std::numeric_limits<T>::min()))
    {
        return std::numeric_limits<T>::min();
    }
    if (value >= static_cast<double>(std::numeric_limits<T>::max()))
    {
        return std::numeric_limits<T>::max();
    }
    return static_cast<T>(value);
}

template <std::size_t... I>
BACnetValueStorage storageAt(std::size_t index, std::index_sequence<I...>)
{
    BACnetValueStorage storage;
    (void)((index == I ? (storage.emplace<I>(), true) : false) || ...);
    return storage;
}

}  // namespace

BACnetValue BACnetValue::defaultOf(BACnetDataType dataType)
{
    for (std::size_t index = 0; index < std::variant_size_v<Storage>; ++index)
    {
        if (dataTypeOf(index) == dataType)
        {
            return BACnetValue(storageAt(index, std::make_index_sequence<std::variant_size_v<Storage>>()));
        }
    }
    return BACnetValue();
}

BACnetDataType BACnetValue::dataTypeOf(std::size_t index)
{
    if (index < _FIRST_CONSTRUCTED)
    {
        return static_cast<BACnetDataType>(index);
    }
    return _CONSTRUCTED[index - _FIRST_CONSTRUCTED];
}

BACnetDataType BACnetValue::getDataType() const
{
    return dataTypeOf(_storage.index());
}

BACNET_APPLICATION_TAG BACnetValue::getApplicationTag() const
{
    return BACnetDataTypeInfo::applicationTag(getDataType(), MAX_BACNET_APPLICATION_TAG);
}

void BACnetValue::throwBadCast(BACnetDataType wanted) const
{
    throw Poco::BadCastException(std::string("BACnet value is ") + BACnetDataTypeInfo::name(getDataType()) +
                                 ", not " + BACnetDataTypeInfo::name(wanted));
}

bool BACnetValue::toBool() const
{
    if (const bool* value = getIf<bool>())
    {
        return *value;
    }
    return toDouble() != 0.0;
}

std::uint64_t BACnetValue::toUInt64() const
{
    if (const std::uint64_t* value = getIf<std::uint64_t>())
    {
        return *value;
    }
    if (const std::int64_t* value = getIf<std::int64_t>())
    {
        return *value < 0 ? 0 : static_cast<std::uint64_t>(*value);
    }
    return saturate<std::uint64_t>(toDouble());
}

std::int64_t BACnetValue::toInt64() const
{
    if (const std::int64_t* value = getIf<std::int64_t>())
    {
        return *value;
    }
    if (const std::uint64_t* value = getIf<std::uint64_t>())
    {
        return *value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(*value);
    }
    return saturate<std::int64_t>(toDouble());
}

double BACnetValue::toDouble() const
{
    switch (getDataType())
    {
        case BACNET_DT_NULL:
            return 0.0;
        case BACNET_DT_BOOLEAN:
            return std::get<bool>(_storage) ? 1.0 : 0.0;
        case BACNET_DT_UNSIGNED:
            return static_cast<double>(std::get<std::uint64_t>(_storage));
        case BACNET_DT_SIGNED:
            return static_cast<double>(std::get<std::int64_t>(_storage));
        case BACNET_DT_REAL:
            return std::get<float>(_storage);
        case BACNET_DT_DOUBLE:
            return std::get<double>(_storage);
        case BACNET_DT_ENUMERATED:
            return std::get<Enumerated>(_storage).value;
        default:
            throwBadCast(BACNET_DT_DOUBLE);
    }
}

const std::string& BACnetValue::toCharString() const
{
    static const std::string empty;
    return isNull() ? empty : get<std::string>();
}

DataType::Date BACnetValue::toDate() const
{
    if (const BACnetDateTime* dateTime = getIf<BACnetDateTime>())
    {
        return dateTime->date;
    }
    return isNull() ? DataType::Date() : get<DataType::Date>();
}

DataType::Time BACnetValue::toTime() const
{
    if (const BACnetDateTime* dateTime = getIf<BACnetDateTime>())
    {
        return dateTime->time;
    }
    return isNull() ? DataType::Time() : get<DataType::Time>();
}

DataType::ObjectIdentifier BACnetValue::getObjectIdentifier() const
{
    if (const auto* reference = getIf<DataType::BACnetDeviceObjectReference>())
    {
        return reference->getObjectIdentifier();
    }
    if (const auto* reference = getIf<DataType::Proprietary::VendorOrvik::BACnetTrendLogLastUploaded>())
    {
        return reference->getObjectIdentifier();
    }
    if (const auto* reference = getIf<DataType::BACnetObjectPropertyReference>())
    {
        return reference->getObjectIdentifier();
    }
    if (const auto* reference = getIf<DataType::BACnetDeviceObjectPropertyReference>())
    {
        return reference->getObjectIdentifier();
    }
    return isNull() ? DataType::ObjectIdentifier() : get<DataType::ObjectIdentifier>();
}

}  // namespace Orvik::BACnet
