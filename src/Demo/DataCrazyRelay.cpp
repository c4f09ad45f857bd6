#include "Orvik_ZARoveDore/Demo/DataCrazyRelay.h"

namespace Orvik::BACnet::App::DataType
{

DataCrazyRelay::DataCrazyRelay(const Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference& ref,
                               Poco::UInt32 aWritePriority, Poco::UInt32 anOnTime, Poco::UInt32 aMaxOffTime)
    : Orvik::BACnet::Client::DataPropertyKey(ref),
      writePriority(aWritePriority),
      onTime(static_cast<Poco::Int32>(anOnTime)),
      maxOffTime(static_cast<Poco::Int32>(aMaxOffTime))
{
}

}  // namespace Orvik::BACnet::App::DataType
