#include "Orvik_BACnet/Codec/IAm.h"

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/Encoder.h"

namespace Orvik::BACnet::Codec
{

Octets IAm::encode() const
{
    Encoder out;
    out.writeApplicationObjectIdentifier(deviceIdentifier);
    out.writeApplicationUnsigned(maxApduLengthAccepted);
    out.writeApplicationEnumerated(segmentation);
    out.writeApplicationUnsigned(vendorId);
    return out.take();
}

IAm IAm::decode(OctetView serviceData)
{
    Decoder in(serviceData);
    IAm iAm;
    iAm.deviceIdentifier = in.readApplicationObjectIdentifier();
    const std::uint64_t maxApdu = in.readApplicationUnsigned();
    const std::uint32_t segmentation = in.readApplicationEnumerated();
    const std::uint64_t vendorId = in.readApplicationUnsigned();
    in.expectEnd();
    if (iAm.deviceIdentifier.getObjectType() != OBJECT_DEVICE)
    {
        throw DecodeError("I-Am from an object that is not a device", iAm.deviceIdentifier.toString(),
                          ERROR_CODE_INVALID_DATA_ENCODING);
    }
    if (maxApdu > 0xFFFFFFFFu || segmentation > SEGMENTATION_NO_SEGMENTATION || vendorId > 0xFFFF)
    {
        throw DecodeError("I-Am field out of range", ERROR_CODE_INVALID_DATA_ENCODING);
    }
    iAm.maxApduLengthAccepted = static_cast<std::uint32_t>(maxApdu);
    iAm.segmentation = static_cast<BACNET_SEGMENTATION>(segmentation);
    iAm.vendorId = static_cast<std::uint16_t>(vendorId);
    return iAm;
}

}  // namespace Orvik::BACnet::Codec
