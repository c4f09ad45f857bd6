#include "ConfirmedRequest.h"

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/SubscribeCOV.h"
#include "Orvik_BACnet/Codec/WriteProperty.h"
#include "RecordConversion.h"

#include <Poco/Exception.h>

namespace Orvik::BACnet::Client::IP
{

ConfirmedRequest::ConfirmedRequest(Poco::UInt32 deviceInstance, std::uint8_t service,
                                   Codec::Octets serviceData, AckReader readAck)
    : _deviceInstance(deviceInstance),
      _service(service),
      _serviceData(std::move(serviceData)),
      _readAck(std::move(readAck))
{
}

std::unique_ptr<ConfirmedRequest> ConfirmedRequest::writeProperty(const DataPropertyKey& key,
                                                                  Poco::UInt32 priority,
                                                                  const ValueContainer& value)
{
    if (priority > 16)
        throw Poco::InvalidArgumentException("A write priority is 1 to 16");
    const Codec::WriteProperty::Request request = RecordConversion::writePropertyOf(key, priority, value);
    return std::unique_ptr<ConfirmedRequest>(
        new ConfirmedRequest(key.deviceInstance, Codec::WriteProperty::_SERVICE,
                             Codec::WriteProperty::encodeRequest(request), nullptr));
}

std::unique_ptr<ConfirmedRequest> ConfirmedRequest::subscribeCOV(
    const DataPropertyKey& key, const NotificationRequestSubscribeCOV::Parameters& parameters)
{
    const Codec::SubscribeCOV::Request request = RecordConversion::subscriptionOf(key, parameters);
    return std::unique_ptr<ConfirmedRequest>(new ConfirmedRequest(
        key.deviceInstance, request.service(), Codec::SubscribeCOV::encodeRequest(request), nullptr));
}

bool ConfirmedRequest::fitTo(Poco::UInt32 maxApdu, bool)
{
    return apduSize() <= maxApdu;
}

ConfirmedRequest::Outcome ConfirmedRequest::takeAck(const Codec::OctetView& serviceData)
{
    if (!_readAck)
        return finish(NetworkReply::Ack());
    try
    {
        return finish(_readAck(serviceData));
    }
    catch (const Codec::DecodeError& e)
    {
        return finish(malformed(e));
    }
}

ConfirmedRequest::Outcome ConfirmedRequest::takeError(const DataError& error)
{
    return finish(error);
}

ConfirmedRequest::Outcome ConfirmedRequest::finish(NetworkReply::Payload payload)
{
    _reply.emplace(std::move(payload));
    return FINISHED;
}

bool ConfirmedRequest::isSizeError(const DataError& error)
{
    switch (error.errorCode)
    {
        case ERROR_CODE_ABORT_BUFFER_OVERFLOW:
        case ERROR_CODE_ABORT_SEGMENTATION_NOT_SUPPORTED:
        case ERROR_CODE_ABORT_APDU_TOO_LONG:
        case ERROR_CODE_REJECT_BUFFER_OVERFLOW:
            return true;
        default:
            return false;
    }
}

DataError ConfirmedRequest::malformed(const Poco::Exception& error)
{
    const int code = error.code();
    return DataError(ERROR_CLASS_COMMUNICATION,
                     code > 0 ? static_cast<BACNET_ERROR_CODE>(code) : ERROR_CODE_INVALID_DATA_ENCODING);
}

}  // namespace Orvik::BACnet::Client::IP
