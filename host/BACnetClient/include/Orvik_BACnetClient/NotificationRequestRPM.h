#pragma once

#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnetClient/DataPropertyRef.h"
#include "Orvik_BACnetClient/NotificationRequest.h"

#include <vector>

namespace Orvik::BACnet::Client
{

/// ReadPropertyMultiple to one device. Reply: NotificationResponseDeviceAccess<std::vector<DataResponseRPM>>
/// (one entry per requested object, each property with its value or its own error), or
/// NotificationResponseDeviceAccess<DataError> when the request failed as a whole.
class NotificationRequestRPM : public NotificationRequest
{
public:
    /// One object and the properties to read of it. PROP_ALL, PROP_REQUIRED and PROP_OPTIONAL stand for
    /// every, every required and every optional property of the object.
    class Parameter
    {
    public:
        Parameter() = default;
        Parameter(const DataType::ObjectIdentifier& anObjectIdentifier,
                  std::vector<DataPropertyRef> somePropertyRefs)
            : objectIdentifier(anObjectIdentifier), propertyRefs(std::move(somePropertyRefs))
        {
        }

        DataType::ObjectIdentifier objectIdentifier;
        std::vector<DataPropertyRef> propertyRefs;
    };

    NotificationRequestRPM(Poco::NotificationQueue* pReplyQueue, Poco::UInt64 replyTicket,
                           Poco::UInt32 requestId, Poco::UInt32 deviceInstance,
                           std::vector<Parameter> parameters);

    Poco::UInt32 getDeviceInstance() const { return _deviceInstance; }
    const std::vector<Parameter>& getParameters() const { return _parameters; }

    void transmit(Network& network, Poco::UInt32 transactionId) const override;
    NotificationResponseBase::Ptr answer(const NetworkReply& reply) const override;
    NotificationResponseBase::Ptr answerError(const DataError& error) const override;

protected:
    ~NotificationRequestRPM() override;

private:
    const Poco::UInt32 _deviceInstance;
    const std::vector<Parameter> _parameters;
};

}  // namespace Orvik::BACnet::Client
