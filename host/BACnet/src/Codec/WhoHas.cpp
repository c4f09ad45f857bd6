#include "Orvik_BACnet/Codec/WhoHas.h"

#include <Poco/Exception.h>

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/Encoder.h"

namespace Orvik::BACnet::Codec
{

bool WhoHas::covers(std::uint32_t deviceInstance) const
{
    return !hasLimits || (deviceInstance >= lowLimit && deviceInstance <= highLimit);
}

Octets WhoHas::encode() const
{
    Encoder out;
    if (hasLimits)
    {
        if (lowLimit > BACNET_MAX_INSTANCE || highLimit > BACNET_MAX_INSTANCE)
        {
            throw Poco::InvalidArgumentException("Who-Has limit above 4194303");
        }
        out.writeUnsigned(0, lowLimit);
        out.writeUnsigned(1, highLimit);
    }
    if (byName)
    {
        out.writeContextValue(3, BACnetValue::makeCharacterString(objectName));
    }
    else
    {
        out.writeObjectIdentifier(2, objectIdentifier);
    }
    return out.take();
}

WhoHas WhoHas::decode(OctetView serviceData)
{
    Decoder in(serviceData);
    WhoHas whoHas;
    if (!in.atEnd() && in.isContext(0))
    {
        whoHas.hasLimits = true;
        whoHas.lowLimit = in.readUnsigned32(0);
        whoHas.highLimit = in.readUnsigned32(1);
        if (whoHas.lowLimit > BACNET_MAX_INSTANCE || whoHas.highLimit > BACNET_MAX_INSTANCE)
        {
            throw DecodeError("Who-Has limit above 4194303", ERROR_CODE_PARAMETER_OUT_OF_RANGE);
        }
    }
    if (!in.atEnd() && in.isContext(2))
    {
        whoHas.objectIdentifier = in.readObjectIdentifier(2);
    }
    else
    {
        whoHas.byName = true;
        whoHas.objectName = in.readContextValue(3, BACNET_APPLICATION_TAG_CHARACTER_STRING).toCharString();
    }
    in.expectEnd();
    return whoHas;
}

Octets WhoHas::IHave::encode() const
{
    Encoder out;
    out.writeApplicationObjectIdentifier(deviceIdentifier);
    out.writeApplicationObjectIdentifier(objectIdentifier);
    out.writeApplicationValue(BACnetValue::makeCharacterString(objectName));
    return out.take();
}

WhoHas::IHave WhoHas::IHave::decode(OctetView serviceData)
{
    Decoder in(serviceData);
    IHave iHave;
    iHave.deviceIdentifier = in.readApplicationObjectIdentifier();
    iHave.objectIdentifier = in.readApplicationObjectIdentifier();
    const BACnetValue name = in.readApplicationValue();
    in.expectEnd();
    if (iHave.deviceIdentifier.getObjectType() != OBJECT_DEVICE ||
        name.getApplicationTag() != BACNET_APPLICATION_TAG_CHARACTER_STRING)
    {
        throw DecodeError("I-Have without a device or an object name", ERROR_CODE_INVALID_DATA_ENCODING);
    }
    iHave.objectName = name.toCharString();
    return iHave;
}

}  // namespace Orvik::BACnet::Codec
