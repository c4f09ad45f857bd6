#pragma once

#include <Poco/Types.h>

#include <string>
#include <vector>

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/DataType/Date.h"
#include "Orvik_BACnet/DataType/Time.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnet/WS/MarkupFactory.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataTrendLog.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// One BACnet device whose trend logs are collected: its instance, its descriptive properties and its
/// trend logs in the order they were first met. A plain value.
class DataDevice
{
public:
    /// The device properties; defaults mark fields that were never read.
    class Properties
    {
    public:
        /// MAX_DEVICE_STATUS (6): not read yet, or to be read again.
        BACNET_DEVICE_STATUS systemStatus = MAX_DEVICE_STATUS;
        Poco::UInt16 vendorIdentifier = 0;
        std::string vendorName;
        std::string modelName;
        std::string objName;
        std::string description;
        std::string location;
        DataType::Date localDate;  ///< year 0: not read
        DataType::Time localTime;
        Poco::Int32 utcOffset = _UTC_OFFSET_NOT_READ;  ///< minutes
        bool daylightSavingStatus = false;

        static constexpr Poco::Int32 _UTC_OFFSET_NOT_READ = 2147483647;

        /// True for the model name, object name, system status, vendor identifier and vendor name.
        static bool isRequired(BACNET_PROPERTY_ID propertyIdentifier);

        /// Takes over a property value read from the device object; other properties are ignored.
        void setValue(BACNET_PROPERTY_ID propertyIdentifier, const ValueContainer& value);
    };

    /// The device `deviceInstance` with default properties and no trend logs.
    explicit DataDevice(Poco::UInt32 deviceInstance);

    /// Accepts every device.
    bool validate(bool) const { return true; }

    /// Sets `loggerFound` of every trend log of the device.
    void setLoggersFound(bool found);
    /// The number of trend logs whose `loggerFound` is set.
    Poco::UInt32 getFoundLoggerCnt() const;

    /// Writes the device as a Sequence named by the decimal instance: its properties, the gateway's
    /// current local date, time, UTC offset (when the device's date was read) and daylight-saving state
    /// (stored into `props` as they are written), and, unless `deviceOnly`, its found trend logs under
    /// "loggers". Without a found trend log nothing is written, unless `deviceOnly`. `openArray` becomes
    /// the element's startArray. Exceptions of the writer pass.
    void markup(WS::MarkupFactory& mf, bool openArray, bool deviceOnly);

    Poco::UInt32 deviceInstance;
    Properties props;
    std::vector<DataTrendLog> trendLogs;

private:
    void markupClock(WS::MarkupFactory& mf);
    void markupLoggers(WS::MarkupFactory& mf, Poco::UInt32 found) const;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
