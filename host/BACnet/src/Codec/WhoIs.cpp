#include "Orvik_BACnet/Codec/WhoIs.h"

#include <Poco/Exception.h>

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/Encoder.h"

namespace Orvik::BACnet::Codec
{

WhoIs WhoIs::range(std::uint32_t lowLimit, std::uint32_t highLimit)
{
    WhoIs whoIs;
    whoIs.hasLimits = lowLimit != 0 || highLimit != BACNET_MAX_INSTANCE;
    whoIs.lowLimit = lowLimit;
    whoIs.highLimit = highLimit;
    return whoIs;
}

bool WhoIs::covers(std::uint32_t deviceInstance) const
{
    return !hasLimits || (deviceInstance >= lowLimit && deviceInstance <= highLimit);
}

Octets WhoIs::encode() const
{
    if (!hasLimits)
    {
        return Octets();
    }
    if (lowLimit > BACNET_MAX_INSTANCE || highLimit > BACNET_MAX_INSTANCE)
    {
        throw Poco::InvalidArgumentException("Who-Is limit above 4194303");
    }
    Encoder out;
    out.writeUnsigned(0, lowLimit);
    out.writeUnsigned(1, highLimit);
    return out.take();
}

WhoIs WhoIs::decode(OctetView serviceData)
{
    Decoder in(serviceData);
    WhoIs whoIs;
    if (!in.atEnd())
    {
        whoIs.hasLimits = true;
        whoIs.lowLimit = in.readUnsigned32(0);
        whoIs.highLimit = in.readUnsigned32(1);
        if (whoIs.lowLimit > BACNET_MAX_INSTANCE || whoIs.highLimit > BACNET_MAX_INSTANCE)
        {
            throw DecodeError("Who-Is limit above 4194303", ERROR_CODE_PARAMETER_OUT_OF_RANGE);
        }
    }
    in.expectEnd();
    return whoIs;
}

}  // namespace Orvik::BACnet::Codec
