#include "Orvik_BACnet/ValueContainer.h"

#include <limits>
#include <utility>

#include <Poco/Exception.h>

#include "MarkupMembers.h"
#include "Orvik_BACnet/LocalTimeConverter.h"
#include "Orvik_BACnet/PropertyDatatypeTable.h"
#include "Orvik_BACnet/ValueText.h"
#include "Orvik_BACnet/WS/MarkupFactory.h"

namespace Orvik::BACnet
{

using namespace DataType;
using Proprietary::VendorOrvik::BACnetTrendLogLastUploaded;

ValueContainer::ValueContainer(const BACnetValue& value)
{
    setValue(value);
}

BACNET_APPLICATION_TAG ValueContainer::getAppTag() const
{
    if (!_values.empty())
    {
        return _values.front().getApplicationTag();
    }
    return BACnetDataTypeInfo::applicationTag(_dataType, MAX_BACNET_APPLICATION_TAG);
}

const BACnetValue& ValueContainer::at(std::size_t index) const
{
    if (index >= _values.size())
    {
        throw Poco::RangeException("Value element index", std::to_string(index));
    }
    return _values[index];
}

void ValueContainer::clear()
{
    _values.clear();
    _structure = BACNET_DTS_SINGLE_VALUE;
}

const BACnetValue& ValueContainer::first() const
{
    static const BACnetValue null;
    return _values.empty() ? null : _values.front();
}

const BACnetValue& ValueContainer::firstOrThrow() const
{
    if (_values.empty())
    {
        throw Poco::NullValueException("BACnet value has no element");
    }
    return _values.front();
}

void ValueContainer::setSingle(BACnetValue value)
{
    _dataType = value.getDataType();
    _structure = BACNET_DTS_SINGLE_VALUE;
    _values.clear();
    _values.push_back(std::move(value));
}

void ValueContainer::setValue(const BACnetValue& value)
{
    setSingle(value);
}

void ValueContainer::append(BACnetValue value)
{
    if (_structure == BACNET_DTS_SINGLE_VALUE)
    {
        _structure = BACNET_DTS_LIST;
    }
    if (_dataType == BACNET_DT_NULL)
    {
        _dataType = value.getDataType();
    }
    _values.push_back(std::move(value));
}

// ---- getters ------------------------------------------------------------------------------------

bool ValueContainer::getBool() const
{
    return first().toBool();
}

std::uint32_t ValueContainer::getUInt() const
{
    const std::uint64_t value = first().toUInt64();
    return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

std::uint64_t ValueContainer::getUInt64() const
{
    return first().toUInt64();
}

std::int32_t ValueContainer::getInt() const
{
    const std::int64_t value = first().toInt64();
    if (value > std::numeric_limits<std::int32_t>::max())
    {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min())
    {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

float ValueContainer::getReal() const
{
    return static_cast<float>(first().toDouble());
}

double ValueContainer::getDouble() const
{
    return first().toDouble();
}

std::uint32_t ValueContainer::getEnum() const
{
    return getUInt();
}

std::string ValueContainer::getCharString() const
{
    return first().toCharString();
}

Date ValueContainer::getDate() const
{
    return first().toDate();
}

Time ValueContainer::getTime() const
{
    return first().toTime();
}

ObjectIdentifier ValueContainer::getObjectIdentifier() const
{
    return first().getObjectIdentifier();
}

BitString& ValueContainer::getBitString(BitString& out) const
{
    const std::size_t size = out.getBitCount();
    if (first().isNull())
    {
        out = BitString(size);
        return out;
    }
    const BitString& bits = first().get<BitString>();
    BitString copy(size);
    for (std::size_t bit = 0; bit < size && bit < bits.getBitCount(); ++bit)
    {
        copy.setBit(bit, bits.getBit(bit));
    }
    out = copy;
    return out;
}

Poco::Timestamp ValueContainer::getLastTimeStamp(LocalTimeConverter* pConverter) const
{
    for (auto it = _values.rbegin(); it != _values.rend(); ++it)
    {
        const BACnetDateTime* dateTime = it->getIf<BACnetDateTime>();
        if (const BACnetLogRecord* record = it->getIf<BACnetLogRecord>())
        {
            dateTime = &record->getDateTime();
        }
        else if (const BACnetTimeStamp* stamp = it->getIf<BACnetTimeStamp>())
        {
            dateTime = stamp->getChoice() == TIME_STAMP_DATETIME ? &stamp->getDateTime() : nullptr;
        }
        else if (const BACnetTrendLogLastUploaded* position = it->getIf<BACnetTrendLogLastUploaded>())
        {
            return position->getTimeStamp();
        }
        if (dateTime != nullptr && dateTime->isSpecified())
        {
            return pConverter != nullptr ? pConverter->toUtc(*dateTime) : dateTime->toTimestamp();
        }
    }
    return Poco::Timestamp(0);
}

// ---- setters ------------------------------------------------------------------------------------

void ValueContainer::setNull()
{
    setSingle(BACnetValue());
}

void ValueContainer::setBool(bool value)
{
    setSingle(BACnetValue::makeBoolean(value));
}

void ValueContainer::setUInt(std::uint64_t value)
{
    setSingle(BACnetValue::makeUnsigned(value));
}

void ValueContainer::setInt(std::int64_t value)
{
    setSingle(BACnetValue::makeSigned(value));
}

void ValueContainer::setReal(float value)
{
    setSingle(BACnetValue::makeReal(value));
}

void ValueContainer::setDouble(double value)
{
    setSingle(BACnetValue::makeDouble(value));
}

void ValueContainer::setEnum(std::uint32_t value)
{
    setSingle(BACnetValue::makeEnumerated(value));
}

void ValueContainer::setCharString(const std::string& value)
{
    setSingle(BACnetValue::makeCharacterString(value));
}

void ValueContainer::setOctetString(const std::string& octets)
{
    setSingle(BACnetValue::makeOctetString(octets));
}

void ValueContainer::setBitString(const BitString& value)
{
    setSingle(BACnetValue(value));
}

void ValueContainer::setDate(const Date& value)
{
    setSingle(BACnetValue(value));
}

void ValueContainer::setTime(const Time& value)
{
    setSingle(BACnetValue(value));
}

void ValueContainer::setObjectIdentifier(const ObjectIdentifier& value)
{
    setSingle(BACnetValue(value));
}

// ---- text forms ---------------------------------------------------------------------------------

std::string ValueContainer::getText() const
{
    std::string text;
    return getText(text);
}

std::string& ValueContainer::getText(std::string& out) const
{
    out.clear();
    if (_structure == BACNET_DTS_SINGLE_VALUE && _values.size() == 1)
    {
        if (const std::string* text = _values.front().getIf<std::string>())
        {
            ValueText::appendSingleString(out, *text);
        }
        else
        {
            ValueText::appendElement(out, _values.front(), true);
        }
        return out;
    }
    if (isNull())
    {
        return out;
    }
    out += '[';
    for (std::size_t i = 0; i < _values.size(); ++i)
    {
        if (i > 0)
        {
            out += ", ";
        }
        ValueText::appendElement(out, _values[i], true);
    }
    out += ']';
    return out;
}

bool ValueContainer::setText(BACnetDataType dataType, BACNET_APPLICATION_TAG appTag, const std::string& text,
                             bool acceptList)
{
    bool isList = false;
    const bool parsed = ValueText::parse(text, dataType, appTag, acceptList, _values, isList);
    _dataType = dataType;
    _structure = isList ? BACNET_DTS_LIST : BACNET_DTS_SINGLE_VALUE;
    return parsed;
}

std::string& ValueContainer::getString(std::string& out, const std::string& separator, bool append) const
{
    if (!append)
    {
        out.clear();
    }
    for (std::size_t i = 0; i < _values.size(); ++i)
    {
        if (i > 0)
        {
            out += separator;
        }
        ValueText::appendElement(out, _values[i], false);
    }
    return out;
}

std::string ValueContainer::getString(const std::string& separator) const
{
    std::string text;
    return getString(text, separator, false);
}

// ---- changes ------------------------------------------------------------------------------------

bool ValueContainer::merge(const ValueContainer& value, std::uint32_t arrayIdx)
{
    if (arrayIdx == BACNET_ARRAY_ALL)
    {
        if (*this == value)
        {
            return false;
        }
        *this = value;
        return true;
    }
    if (value._values.empty())
    {
        return false;
    }
    if (arrayIdx == 0)
    {
        const std::uint32_t count = value.getUInt();
        if (count == _values.size())
        {
            return false;
        }
        _values.resize(count, BACnetValue::defaultOf(_dataType));
        _structure = _structure == BACNET_DTS_SINGLE_VALUE ? BACNET_DTS_ARRAY : _structure;
        return true;
    }
    const BACnetValue& element = value._values.front();
    const bool typeFits = _dataType == BACNET_DT_NULL || _dataType == BACNET_DT_ANY || element.isNull() ||
                          element.getDataType() == _dataType;
    if (!typeFits || arrayIdx > _values.size() + 1)
    {
        return false;
    }
    if (arrayIdx == _values.size() + 1)
    {
        append(element);
        return true;
    }
    if (_values[arrayIdx - 1] == element)
    {
        return false;
    }
    _values[arrayIdx - 1] = element;
    if (_structure == BACNET_DTS_SINGLE_VALUE && _values.size() > 1)
    {
        _structure = BACNET_DTS_ARRAY;
    }
    return true;
}

bool ValueContainer::getValueTypeAndStructure(std::uint32_t objectType, std::uint32_t propertyId,
                                              BACnetDataType& dataType, BACNET_APPLICATION_TAG& appTag,
                                              BACNET_DATATYPE_STRUCTURE& structure)
{
    const PropertyDatatype* row = PropertyDatatypeTable::find(objectType, propertyId);
    if (row == nullptr)
    {
        return false;
    }
    dataType = row->dataType;
    appTag = row->appTag;
    structure = row->structure;
    return true;
}

void ValueContainer::markup(WS::MarkupFactory& mf, const std::string& name, bool startArray,
                            BACnetDataType dataType) const
{
    if (isNull())
    {
        mf.markup(WS::MarkupFactory::BT_NULL, name, std::string(),
                  WS::MarkupFactory::Options().startArray(startArray));
        return;
    }
    if (_structure == BACNET_DTS_SINGLE_VALUE && _values.size() == 1)
    {
        markupElement(mf, name, _values.front(), startArray, dataType);
        return;
    }
    mf.markup(_structure == BACNET_DTS_ARRAY ? WS::MarkupFactory::BT_ARRAY : WS::MarkupFactory::BT_LIST, name,
              WS::MarkupFactory::Options().open().startArray(startArray));
    std::string itemName;
    for (std::size_t i = 0; i < _values.size(); ++i)
    {
        itemName = std::to_string(i + 1);
        markupElement(mf, itemName, _values[i], i == 0, dataType);
    }
    mf.closeOpenMarkup();
}

void ValueContainer::markupElement(WS::MarkupFactory& mf, const std::string& name, const BACnetValue& value,
                                   bool startArray, BACnetDataType dataType)
{
    const BACnetComplex* complex = std::visit(
        [](const auto& held) -> const BACnetComplex*
        {
            using Held = std::decay_t<decltype(held)>;
            if constexpr (std::is_base_of_v<BACnetComplex, Held>)
            {
                return &held;
            }
            return nullptr;
        },
        value.storage());
    if (complex != nullptr)
    {
        complex->markup(mf, name, startArray);
    }
    else
    {
        MarkupMembers::writeValue(mf, name, value, startArray,
                                  BACnetDataTypeInfo::isPrimitive(dataType) ? dataType : BACNET_DT_NULL);
    }
}

bool ValueContainer::operator==(const ValueContainer& other) const
{
    return _dataType == other._dataType && _structure == other._structure && _values == other._values;
}

}  // namespace Orvik::BACnet
