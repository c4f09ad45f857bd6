#include "SimulatedPoint.h"

#include <glob.h>

#include <cmath>
#include <fstream>
#include <limits>

#include "Orvik_BACnet/ObjectTypeTraits.h"

namespace Orvik::BACnet::Device
{

namespace
{

const double TWO_PI = 6.283185307179586;

ValueContainer single(const BACnetValue& value)
{
    return ValueContainer(value);
}

/// The first file, in sorted order, that the pattern names. The C library's glob opens only the folders
/// whose names hold wildcards (a search from "/" finds nothing under qemu-arm -L, which lists its loader
/// folder there).
std::optional<std::string> firstFileOf(const std::string& pattern)
{
    glob_t found{};
    std::optional<std::string> first;
    if (::glob(pattern.c_str(), GLOB_TILDE, nullptr, &found) == 0 && found.gl_pathc > 0)
        first = found.gl_pathv[0];
    ::globfree(&found);
    return first;
}

/// The sensor's value now; none when it cannot be read or no REAL holds it.
std::optional<float> sensorReading(const SimulatedPoint::Sensor& sensor)
{
    const std::optional<std::string> file = firstFileOf(sensor.path);
    if (!file)
        return std::nullopt;
    std::ifstream in(*file);
    double reading = 0.0;
    if (!(in >> reading))
        return std::nullopt;
    const double value = reading * sensor.scale;
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return std::nullopt;
    return static_cast<float>(value);
}

}  // namespace

SimulatedPoint::SimulatedPoint(const DataType::ObjectIdentifier& identifier, const std::string& name,
                               const BACnetValue& initialValue, bool commandable)
    : SimulatedObject(identifier, name),
      _commandable(commandable),
      _valueType(initialValue.getDataType()),
      _processValue(initialValue)
{
    addDynamicProperty(PROP_PRESENT_VALUE);
    addDynamicProperty(PROP_STATUS_FLAGS);
    ValueContainer value;
    value.setEnum(EVENT_STATE_NORMAL);
    setProperty(PROP_EVENT_STATE, value);
    addDynamicProperty(PROP_OUT_OF_SERVICE);
    value.setEnum(RELIABILITY_NO_FAULT_DETECTED);
    setProperty(PROP_RELIABILITY, value);
    if (_commandable)
    {
        addDynamicProperty(PROP_PRIORITY_ARRAY);
        addDynamicProperty(PROP_RELINQUISH_DEFAULT);
    }
}

void SimulatedPoint::setDrift(const Drift& drift, const Poco::Timestamp& origin)
{
    _drift = drift;
    _driftBase = _processValue;
    _driftOrigin = origin;
}

void SimulatedPoint::setSensor(const Sensor& sensor)
{
    _sensor = sensor;
    readSensor();
}

void SimulatedPoint::readSensor()
{
    const std::optional<float> reading = sensorReading(*_sensor);
    _sensorFailed = !reading;
    if (reading)
        _processValue = BACnetValue::makeReal(*reading);
    ValueContainer reliability;
    reliability.setEnum(reading ? RELIABILITY_NO_FAULT_DETECTED : RELIABILITY_NO_SENSOR);
    setProperty(PROP_RELIABILITY, reliability);
}

Codec::ServiceError SimulatedPoint::changeValue(const ValueContainer& value)
{
    const Codec::ServiceError error = checkValue(value);
    if (error.hasError())
        return error;
    _processValue = value.at(0);
    _drift = Drift();
    return Codec::ServiceError();
}

BACnetValue SimulatedPoint::presentValue() const
{
    if (_commandable)
    {
        for (const BACnetValue& slot : _priorityArray)
        {
            if (!slot.isNull())
                return slot;
        }
    }
    return _processValue;
}

Codec::ServiceError SimulatedPoint::write(const Codec::PropertyReference& ref, Poco::UInt32 priority,
                                          const ValueContainer& value)
{
    const BACNET_PROPERTY_ID property = ref.propertyId;
    const bool ownsProperty = property == PROP_PRESENT_VALUE || property == PROP_OUT_OF_SERVICE ||
                              (property == PROP_RELINQUISH_DEFAULT && _commandable) ||
                              (property == PROP_COV_INCREMENT && hasProperty(PROP_COV_INCREMENT));
    if (!ownsProperty)
        return SimulatedObject::write(ref, priority, value);
    if (ref.hasArrayIndex())
        return propertyError(ERROR_CODE_PROPERTY_IS_NOT_AN_ARRAY);
    if (property == PROP_PRESENT_VALUE)
        return writePresentValue(priority, value);
    if (property == PROP_OUT_OF_SERVICE)
    {
        if (!holdsSingle(value, BACNET_DT_BOOLEAN))
            return propertyError(ERROR_CODE_INVALID_DATA_TYPE);
        _outOfService = value.getBool();
        return Codec::ServiceError();
    }
    if (property == PROP_COV_INCREMENT)
    {
        if (!holdsSingle(value, BACNET_DT_REAL) || value.getReal() < 0.0f)
            return propertyError(ERROR_CODE_VALUE_OUT_OF_RANGE);
        setProperty(PROP_COV_INCREMENT, value);
        return Codec::ServiceError();
    }
    const Codec::ServiceError error = checkValue(value);
    if (!error.hasError())
        _processValue = value.at(0);
    return error;
}

Codec::ServiceError SimulatedPoint::writePresentValue(Poco::UInt32 priority, const ValueContainer& value)
{
    if (!_commandable)
    {
        if (!_outOfService)
            return propertyError(ERROR_CODE_WRITE_ACCESS_DENIED);
        return changeValue(value);
    }
    if (priority < 1 || priority > _PRIORITY_COUNT)
        return propertyError(ERROR_CODE_VALUE_OUT_OF_RANGE);
    if (value.isNull() || holdsSingle(value, BACNET_DT_NULL))
    {
        _priorityArray[priority - 1] = BACnetValue();
        return Codec::ServiceError();
    }
    const Codec::ServiceError error = checkValue(value);
    if (!error.hasError())
        _priorityArray[priority - 1] = value.at(0);
    return error;
}

std::vector<Codec::PropertyValue> SimulatedPoint::covValues(BACNET_PROPERTY_ID property,
                                                            const Poco::Timestamp& now) const
{
    const BACNET_PROPERTY_ID reported = property == MAX_BACNET_PROPERTY_ID ? PROP_PRESENT_VALUE : property;
    std::vector<Codec::PropertyValue> values;
    ValueContainer value;
    if (read(Codec::PropertyReference(reported), now, value).hasError())
        return values;
    values.emplace_back(Codec::PropertyReference(reported), value);
    if (reported != PROP_STATUS_FLAGS)
        values.emplace_back(Codec::PropertyReference(PROP_STATUS_FLAGS), statusFlags());
    return values;
}

float SimulatedPoint::covIncrement() const
{
    const ValueContainer* pIncrement = fixedValue(PROP_COV_INCREMENT);
    return pIncrement == nullptr ? 0.0f : pIncrement->getReal();
}

void SimulatedPoint::advance(const Poco::Timestamp& now)
{
    if (_sensor)
        readSensor();
    if (_drift.periodSeconds <= 0.0)
        return;
    _processValue = driftedValue(static_cast<double>(now - _driftOrigin) / 1e6);
}

Codec::ServiceError SimulatedPoint::readDynamic(BACNET_PROPERTY_ID property, const Poco::Timestamp& now,
                                                ValueContainer& out) const
{
    switch (property)
    {
        case PROP_PRESENT_VALUE:
            out = single(presentValue());
            return Codec::ServiceError();
        case PROP_STATUS_FLAGS:
            out = statusFlags();
            return Codec::ServiceError();
        case PROP_OUT_OF_SERVICE:
            out.setBool(_outOfService);
            return Codec::ServiceError();
        case PROP_PRIORITY_ARRAY:
            out = priorityArray();
            return Codec::ServiceError();
        case PROP_RELINQUISH_DEFAULT:
            out = single(_processValue);
            return Codec::ServiceError();
        default:
            return SimulatedObject::readDynamic(property, now, out);
    }
}

Codec::ServiceError SimulatedPoint::checkValue(const ValueContainer& value) const
{
    if (!holdsSingle(value, _valueType))
        return propertyError(ERROR_CODE_INVALID_DATA_TYPE);
    if (ObjectTypeTraits::isBinary(getIdentifier().getObjectType()) && value.getEnum() > 1)
        return propertyError(ERROR_CODE_VALUE_OUT_OF_RANGE);
    const Poco::UInt32 states = numberOfStates();
    if (states > 0 && (value.getUInt() < 1 || value.getUInt() > states))
        return propertyError(ERROR_CODE_VALUE_OUT_OF_RANGE);
    return Codec::ServiceError();
}

Poco::UInt32 SimulatedPoint::numberOfStates() const
{
    const ValueContainer* pStates = fixedValue(PROP_NUMBER_OF_STATES);
    return pStates == nullptr ? 0 : pStates->getUInt();
}

ValueContainer SimulatedPoint::priorityArray() const
{
    ValueContainer array;
    array.setStructure(BACNET_DTS_ARRAY);
    for (const BACnetValue& slot : _priorityArray)
        array.append(slot);
    array.setDataType(_valueType);
    return array;
}

ValueContainer SimulatedPoint::statusFlags() const
{
    DataType::BitString flags(4);
    flags.setBit(STATUS_FLAG_FAULT, _sensorFailed);
    flags.setBit(STATUS_FLAG_OUT_OF_SERVICE, _outOfService);
    ValueContainer value;
    value.setBitString(flags);
    return value;
}

BACnetValue SimulatedPoint::driftedValue(double seconds) const
{
    const double cycles = seconds / _drift.periodSeconds;
    if (_valueType == BACNET_DT_REAL)
    {
        const double base = _driftBase.toDouble();
        return BACnetValue::makeReal(static_cast<float>(base + _drift.amplitude * std::sin(TWO_PI * cycles)));
    }
    if (_valueType == BACNET_DT_ENUMERATED)
    {
        const auto halfPeriods = static_cast<Poco::UInt64>(std::floor(cycles * 2.0));
        return BACnetValue::makeEnumerated(
            static_cast<Poco::UInt32>((_driftBase.toUInt64() + halfPeriods) % 2));
    }
    const Poco::UInt32 states = numberOfStates();
    if (states > 0)
    {
        const auto steps = static_cast<Poco::UInt64>(std::floor(cycles * states));
        return BACnetValue::makeUnsigned((_driftBase.toUInt64() - 1 + steps) % states + 1);
    }
    return BACnetValue::makeUnsigned(_driftBase.toUInt64() +
                                     static_cast<Poco::UInt64>(std::floor(cycles * _drift.amplitude)));
}

}  // namespace Orvik::BACnet::Device
