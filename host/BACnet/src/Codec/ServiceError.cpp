#include "Orvik_BACnet/Codec/ServiceError.h"

#include <Poco/Exception.h>

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/Encoder.h"
#include "Orvik_BACnet/ProtocolText.h"

namespace Orvik
{
namespace BACnet
{
namespace Codec
{

namespace
{

constexpr std::uint8_t _FIRST_PROPRIETARY_REASON = 64;

/// Services whose error is a record with the class and code in its field [0].
bool hasErrorRecord(std::uint8_t service)
{
    switch (service)
    {
        case SERVICE_CONFIRMED_ADD_LIST_ELEMENT:
        case SERVICE_CONFIRMED_REMOVE_LIST_ELEMENT:
        case SERVICE_CONFIRMED_CREATE_OBJECT:
        case SERVICE_CONFIRMED_WRITE_PROPERTY_MULTIPLE:
        case SERVICE_CONFIRMED_CONFIRMED_PRIVATE_TRANSFER:
        case SERVICE_CONFIRMED_VT_CLOSE:
        case SERVICE_CONFIRMED_SUBSCRIBE_COV_PROPERTY_MULTIPLE:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string ServiceError::getString() const
{
    if (!hasError())
        return "no error";
    return ProtocolText::errorClassName(errorClass) + ": " + ProtocolText::errorCodeName(errorCode);
}

Octets ServiceError::encode(std::uint8_t service) const
{
    if (!hasError() || hasErrorRecord(service))
    {
        throw Poco::InvalidArgumentException("No plain error of this service", std::to_string(service));
    }
    Encoder out;
    out.writeApplicationEnumerated(errorClass);
    out.writeApplicationEnumerated(errorCode);
    return out.take();
}

ServiceError ServiceError::read(Decoder& in)
{
    const std::uint32_t errorClass = in.readApplicationEnumerated();
    const std::uint32_t errorCode = in.readApplicationEnumerated();
    if (errorClass >= ERROR_CLASS_ABORT)
    {
        throw DecodeError("Error class out of range", std::to_string(errorClass),
                          ERROR_CODE_INVALID_DATA_ENCODING);
    }
    return ServiceError(static_cast<BACNET_ERROR_CLASS>(errorClass),
                        static_cast<BACNET_ERROR_CODE>(errorCode));
}

ServiceError ServiceError::decode(OctetView serviceData, std::uint8_t service)
{
    Decoder in(serviceData);
    if (hasErrorRecord(service))
    {
        Decoder errorType = in.readEnclosed(0);
        const ServiceError error = read(errorType);
        errorType.expectEnd();
        return error;
    }
    const ServiceError error = read(in);
    in.expectEnd();
    return error;
}

ServiceError ServiceError::fromReject(std::uint8_t reason)
{
    BACNET_ERROR_CODE code = ERROR_CODE_REJECT_OTHER;
    if (reason >= REJECT_REASON_BUFFER_OVERFLOW && reason <= REJECT_REASON_UNRECOGNIZED_SERVICE)
    {
        // reject-buffer-overflow .. reject-unrecognized-service follow the reasons' order.
        code = static_cast<BACNET_ERROR_CODE>(ERROR_CODE_REJECT_BUFFER_OVERFLOW + reason -
                                              REJECT_REASON_BUFFER_OVERFLOW);
    }
    else if (reason == REJECT_REASON_INVALID_DATA_ENCODING)
    {
        code = ERROR_CODE_INVALID_DATA_ENCODING;
    }
    else if (reason >= _FIRST_PROPRIETARY_REASON)
    {
        code = ERROR_CODE_REJECT_PROPRIETARY;
    }
    return ServiceError(ERROR_CLASS_COMMUNICATION, code);
}

ServiceError ServiceError::timeout()
{
    return ServiceError(ERROR_CLASS_COMMUNICATION, ERROR_CODE_TIMEOUT);
}

ServiceError ServiceError::fromAbort(std::uint8_t reason)
{
    static const BACNET_ERROR_CODE codes[] = {
        ERROR_CODE_ABORT_OTHER,
        ERROR_CODE_ABORT_BUFFER_OVERFLOW,
        ERROR_CODE_ABORT_INVALID_APDU_IN_THIS_STATE,
        ERROR_CODE_ABORT_PREEMPTED_BY_HIGHER_PRIORITY_TASK,
        ERROR_CODE_ABORT_SEGMENTATION_NOT_SUPPORTED,
        ERROR_CODE_ABORT_SECURITY_ERROR,
        ERROR_CODE_ABORT_INSUFFICIENT_SECURITY,
        ERROR_CODE_ABORT_WINDOW_SIZE_OUT_OF_RANGE,
        ERROR_CODE_ABORT_APPLICATION_EXCEEDED_REPLY_TIME,
        ERROR_CODE_ABORT_OUT_OF_RESOURCES,
        ERROR_CODE_ABORT_TSM_TIMEOUT,
        ERROR_CODE_ABORT_APDU_TOO_LONG,
    };
    BACNET_ERROR_CODE code = ERROR_CODE_ABORT_OTHER;
    if (reason < sizeof(codes) / sizeof(codes[0]))
    {
        code = codes[reason];
    }
    else if (reason >= _FIRST_PROPRIETARY_REASON)
    {
        code = ERROR_CODE_ABORT_PROPRIETARY;
    }
    return ServiceError(ERROR_CLASS_COMMUNICATION, code);
}

ServiceError ServiceError::fromNetworkReject(std::uint8_t reason)
{
    // not-router-to-dnet .. addressing-error follow the reasons 1 to 6 in order.
    constexpr std::uint8_t firstReason = 1;
    constexpr std::uint8_t lastReason = 6;
    BACNET_ERROR_CODE code = ERROR_CODE_OTHER;
    if (reason >= firstReason && reason <= lastReason)
    {
        code = static_cast<BACNET_ERROR_CODE>(ERROR_CODE_NOT_ROUTER_TO_DNET + reason - firstReason);
    }
    return ServiceError(ERROR_CLASS_COMMUNICATION, code);
}

}  // namespace Codec
}  // namespace BACnet
}  // namespace Orvik
