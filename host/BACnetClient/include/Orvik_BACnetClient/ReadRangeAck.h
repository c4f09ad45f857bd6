#pragma once

#include "Orvik_BACnet/ValueContainer.h"

#include <Poco/Types.h>

namespace Orvik::BACnet::Client
{

/// The result of a ReadRange request (ASHRAE 135, ReadRange-ACK).
class ReadRangeAck
{
public:
    /// Bit values of Result::resultFlags.
    enum ResultFlag
    {
        RESULT_FIRST_ITEM = 1,  ///< the first record returned is the oldest record in the buffer
        RESULT_LAST_ITEM = 2,   ///< the last record returned is the newest record in the buffer
        RESULT_MORE_ITEMS = 4   ///< more records matched the request than fitted into this reply
    };

    class Result
    {
    public:
        bool hasMoreItems() const { return (resultFlags & RESULT_MORE_ITEMS) != 0; }

        /// The records, a list of log records (getLastTimeStamp() gives the time of the last one).
        ValueContainer value;
        /// ResultFlag bits.
        Poco::UInt32 resultFlags = 0;
        /// Number of records in `value`.
        Poco::UInt32 itemCnt = 0;
        /// Sequence number of the first record returned; 0 when no record was returned.
        Poco::UInt32 firstSequenceNumber = 0;
    };
};

}  // namespace Orvik::BACnet::Client
