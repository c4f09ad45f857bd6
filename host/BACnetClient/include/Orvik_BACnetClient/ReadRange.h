#pragma once

#include "Orvik_BACnet/DataType/BACnetDateTime.h"

#include <Poco/Types.h>

namespace Orvik::BACnet::Client
{

/// The range of a ReadRange request (ASHRAE 135, ReadRange service).
class ReadRange
{
public:
    /// Which range the request names; the numbers are fixed.
    enum RequestType
    {
        RT_BY_POSITION = 1,  ///< refIndex: position in the buffer, 1 the oldest record held
        RT_BY_SEQUENCE = 2,  ///< refSeqNum: sequence number of a record
        RT_BY_TIME = 4,      ///< refTime: records newer (count > 0) or older (count < 0) than refTime
        RT_READ_ALL = 8      ///< no range: the whole buffer, as much as fits in one reply
    };

    class Range
    {
    public:
        RequestType requestType = RT_READ_ALL;
        /// RT_BY_POSITION: the reference position (1 = oldest record held).
        Poco::UInt32 refIndex = 1;
        /// RT_BY_SEQUENCE: the reference sequence number.
        Poco::UInt32 refSeqNum = 0;
        /// RT_BY_TIME: the reference time.
        DataType::BACnetDateTime refTime;
        /// How many records: positive from the reference on (the reference included, except by time),
        /// negative back from it. 0 is not a valid count.
        Poco::Int32 count = 0;
    };
};

}  // namespace Orvik::BACnet::Client
