#pragma once

#include "SimulatedObject.h"

#include <array>
#include <optional>
#include <string>

namespace Orvik::BACnet::Device
{

/// A point object of a simulated device: analog, binary and multi-state inputs, outputs and values,
/// accumulator and pulse converter. It owns present-value, status-flags, out-of-service and, when
/// commandable, priority-array and relinquish-default; the loader adds the descriptive properties
/// (units, number-of-states, cov-increment, ...).
///
/// Present value: an input (or a point out of service) holds its own value, the process value, which
/// may drift with time. A commandable point (outputs always, values when the site says so) takes its
/// present value from the highest priority (1 highest, 16 lowest) that holds a value in its priority
/// array, and from relinquish-default when every slot is empty; writing NULL at a priority empties that
/// slot. Values are checked like a device does: the datatype of the present value (invalid-data-type),
/// 0 or 1 for a binary point, 1 to number-of-states for a multi-state point (value-out-of-range), a
/// priority from 1 to 16 (value-out-of-range); writing the present value of an input that is in service
/// is refused (write-access-denied).
class SimulatedPoint : public SimulatedObject
{
public:
    /// How the process value moves by itself: a REAL follows a sine of `amplitude` around its start value
    /// over `periodSeconds`; a binary value toggles every half period; a multi-state value steps through
    /// its states, one per period / number of states; an unsigned counter adds `amplitude` per period.
    class Drift
    {
    public:
        double amplitude = 0.0;
        double periodSeconds = 0.0;
    };

    /// A value that Linux shows in a file, as a thermal zone's "temp" (millidegrees Celsius): the number
    /// at the start of the first file that `path` names (a glob pattern, such as
    /// "/sys/class/thermal/thermal_zone*/temp"; the first match in sorted order), times `scale`.
    class Sensor
    {
    public:
        std::string path;
        double scale = 1.0;
    };

    /// `initialValue` gives the datatype of the present value (REAL, ENUMERATED or UNSIGNED).
    SimulatedPoint(const DataType::ObjectIdentifier& identifier, const std::string& name,
                   const BACnetValue& initialValue, bool commandable);

    BACnetDataType getValueType() const { return _valueType; }

    /// Starts drifting from the current process value, counted from `origin`.
    void setDrift(const Drift& drift, const Poco::Timestamp& origin);
    /// The process value of a REAL point is read from `sensor` now and at every advance(). While no
    /// reading succeeds (no such file, no number in it, a number no REAL holds) the point keeps its
    /// last value and reports the fault: status-flags fault, reliability no-sensor.
    void setSensor(const Sensor& sensor);
    /// The point's own value changes (a new sensor reading; for a commandable point its relinquish
    /// default). Stops a drift. Returns the error a write of that value would give.
    Codec::ServiceError changeValue(const ValueContainer& value);

    Codec::ServiceError write(const Codec::PropertyReference& ref, Poco::UInt32 priority,
                              const ValueContainer& value) override;
    std::vector<Codec::PropertyValue> covValues(BACNET_PROPERTY_ID property,
                                                const Poco::Timestamp& now) const override;
    float covIncrement() const override;
    void advance(const Poco::Timestamp& now) override;

protected:
    Codec::ServiceError readDynamic(BACNET_PROPERTY_ID property, const Poco::Timestamp& now,
                                    ValueContainer& out) const override;

private:
    static constexpr std::size_t _PRIORITY_COUNT = 16;

    /// The highest priority's value, else the process value.
    BACnetValue presentValue() const;
    Codec::ServiceError checkValue(const ValueContainer& value) const;
    Codec::ServiceError writePresentValue(Poco::UInt32 priority, const ValueContainer& value);
    Poco::UInt32 numberOfStates() const;
    ValueContainer priorityArray() const;
    ValueContainer statusFlags() const;
    BACnetValue driftedValue(double seconds) const;
    void readSensor();

    const bool _commandable;
    const BACnetDataType _valueType;
    BACnetValue _processValue;
    std::array<BACnetValue, _PRIORITY_COUNT> _priorityArray;
    bool _outOfService = false;
    Drift _drift;
    BACnetValue _driftBase;
    Poco::Timestamp _driftOrigin;
    std::optional<Sensor> _sensor;
    bool _sensorFailed = false;
};

}  // namespace Orvik::BACnet::Device
