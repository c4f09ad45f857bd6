#pragma once

#include <Poco/Types.h>

#include <string>
#include <vector>

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/DataType/Proprietary/VendorOrvik/BACnetTrendLogLastUploaded.h"
#include "Orvik_BACnet/ProprietaryVendorOrvik.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnet/WS/MarkupFactory.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataChannel.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// One trend log or trend log multiple object: its identity and upload position (`objKey`), its
/// configuration properties, whether the last search of its device found it, and its channels.
/// A plain value.
class DataTrendLog
{
public:
    /// The configuration properties of the trend log; defaults mark fields that were never read.
    class Properties
    {
    public:
        std::string objName;
        bool enable = false;
        Poco::UInt32 bufferSize = 0;
        Poco::UInt32 recordCnt = 0;
        Poco::UInt32 totalRecordCnt = 0;
        BACNET_LOGGING_TYPE loggingType = LOGGING_TYPE_POLLED;
        Poco::Int32 alignIntervals = -1;  ///< -1: not read; 0 or 1 once read
        Poco::UInt32 logInterval = 0;
        Poco::UInt32 intervalOffset = 0;
        BACNET_PROPERTY_RESET_ADJUST_VALUE resetAdjustValue = MAX_RESET_ADJUST_VALUE;  ///< 3: not read

        /// True for the object name, buffer size, enable, record count and total record count.
        static bool isRequired(BACNET_PROPERTY_ID propertyIdentifier);

        /// Takes over a property value read from the trend log; other properties are ignored.
        void setValue(BACNET_PROPERTY_ID propertyIdentifier, const ValueContainer& value);
    };

    using Position = DataType::Proprietary::VendorOrvik::BACnetTrendLogLastUploaded;

    /// The trend log `key` (object of a device), never uploaded (time stamp 0).
    explicit DataTrendLog(const Client::DataObjectKey& key);
    /// A trend log at a stored upload position.
    explicit DataTrendLog(const Position& position);

    /// Accepts every trend log.
    bool validate(bool) const { return true; }

    /// Writes the trend log as a Sequence named by the decimal `name` with its configuration and its
    /// "channels" array; writes nothing when `loggerFound` is false. `openArray` becomes the element's
    /// startArray. Exceptions of the writer pass.
    void markup(WS::MarkupFactory& mf, Poco::UInt32 name, bool openArray) const;

    Position objKey;
    Properties props;
    bool loggerFound = false;
    std::vector<DataChannel> channels;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
