#pragma once

#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/NotificationRequest.h"

namespace Orvik::BACnet::Client
{

/// SubscribeCOV (the key's property MAX_BACNET_PROPERTY_ID: the whole object) or SubscribeCOVProperty
/// (any other property), a renewal, or a cancellation. Reply: NotificationResponsePropertyAccess<int> (0)
/// on success, NotificationResponsePropertyAccess<DataError> when refused. The change-of-value
/// notifications arrive on the same queue as NotificationResponse<DataResponseCOV> (request id 0).
class NotificationRequestSubscribeCOV : public NotificationRequest
{
public:
    class Parameters
    {
    public:
        /// Names the subscriber; see ServiceHelper::getNewCOVSubscriberProcessIdentifier().
        Poco::UInt32 subscriberProcessIdentifier = 0;
        /// True: cancel the subscription (lifetime and the rest are not sent).
        bool cancelation = false;
        bool confirmedNotification = false;
        /// Seconds; 0 subscribes without time limit.
        Poco::UInt32 lifetime = 0;
        /// SubscribeCOVProperty only: covIncrement replaces the object's own COV increment.
        bool covIncrementPresent = false;
        float covIncrement = 0.0f;
    };

    NotificationRequestSubscribeCOV(Poco::NotificationQueue* pReplyQueue, Poco::UInt64 replyTicket,
                                    Poco::UInt32 requestId, const DataPropertyKey& key,
                                    const Parameters& parameters);

    const DataPropertyKey& getKey() const { return _key; }
    const Parameters& getParameters() const { return _parameters; }

    void transmit(Network& network, Poco::UInt32 transactionId) const override;
    NotificationResponseBase::Ptr answer(const NetworkReply& reply) const override;
    NotificationResponseBase::Ptr answerError(const DataError& error) const override;

protected:
    ~NotificationRequestSubscribeCOV() override;

private:
    const DataPropertyKey _key;
    const Parameters _parameters;
};

}  // namespace Orvik::BACnet::Client
