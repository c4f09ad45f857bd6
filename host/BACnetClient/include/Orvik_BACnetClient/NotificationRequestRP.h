#pragma once

#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/NotificationRequest.h"

namespace Orvik::BACnet::Client
{

/// ReadProperty. Reply: NotificationResponsePropertyAccess<ValueContainer>, or
/// NotificationResponsePropertyAccess<DataError>.
class NotificationRequestRP : public NotificationRequest
{
public:
    NotificationRequestRP(Poco::NotificationQueue* pReplyQueue, Poco::UInt64 replyTicket,
                          Poco::UInt32 requestId, const DataPropertyKey& key);

    const DataPropertyKey& getKey() const { return _key; }

    void transmit(Network& network, Poco::UInt32 transactionId) const override;
    NotificationResponseBase::Ptr answer(const NetworkReply& reply) const override;
    NotificationResponseBase::Ptr answerError(const DataError& error) const override;

protected:
    ~NotificationRequestRP() override;

private:
    const DataPropertyKey _key;
};

}  // namespace Orvik::BACnet::Client
