#pragma once

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/NotificationRequest.h"

namespace Orvik::BACnet::Client
{

/// WriteProperty with a priority (1 highest to 16 lowest; a NULL value relinquishes the slot). Reply:
/// NotificationResponsePropertyAccess<int> (0) on success, NotificationResponsePropertyAccess<DataError>.
class NotificationRequestWP : public NotificationRequest
{
public:
    NotificationRequestWP(Poco::NotificationQueue* pReplyQueue, Poco::UInt64 replyTicket,
                          Poco::UInt32 requestId, const DataPropertyKey& key, Poco::UInt32 priority,
                          const ValueContainer& value);

    const DataPropertyKey& getKey() const { return _key; }
    Poco::UInt32 getPriority() const { return _priority; }
    const ValueContainer& getValue() const { return _value; }

    void transmit(Network& network, Poco::UInt32 transactionId) const override;
    NotificationResponseBase::Ptr answer(const NetworkReply& reply) const override;
    NotificationResponseBase::Ptr answerError(const DataError& error) const override;

protected:
    ~NotificationRequestWP() override;

private:
    const DataPropertyKey _key;
    const Poco::UInt32 _priority;
    const ValueContainer _value;
};

}  // namespace Orvik::BACnet::Client
