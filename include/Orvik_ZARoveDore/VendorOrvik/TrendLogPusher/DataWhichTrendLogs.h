#pragma once

#include <Poco/Types.h>

#include <vector>

#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// Where and how often the trend log pusher looks for trend logs, and which objects it leaves out.
class DataWhichTrendLogs
{
public:
    /// Where trend logs are looked for.
    enum WhereFromToCollect : Poco::UInt32
    {
        FROM_PARAMETER_LIST = 0,  ///< no search: only the stored positions
        FROM_LOCAL_DEVICE = 1,    ///< the gateway's own device
        FROM_NETWORK = 2          ///< every device that answers a Who-Is
    };

    WhereFromToCollect collectTrendLogs = FROM_PARAMETER_LIST;
    Poco::UInt32 refreshTrendlLogListIntervalMinutes = 0;  ///< 0: search only at start
    /// A device object excludes the whole device, a trend log object that trend log.
    std::vector<DataType::BACnetDeviceObjectReference> blacklistLoggers;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
