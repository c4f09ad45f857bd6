#pragma once

#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "Orvik_BACnetClient/DataResponseWhoIs.h"
#include "Orvik_BACnetClient/NotificationRequest.h"

namespace Orvik::BACnet::Client
{

/// Who-Is for the device instances lowLimit to highLimit, sent to an address (the default address is
/// the global broadcast). The requester receives a NotificationResponse<DataResponseWhoIs> for every
/// I-Am of a device in range during the answer window, then the end of the window: a
/// NotificationResponse<DataError> with class communication (7) and code
/// abort-application-exceeded-reply-time (124), which is what the apps test for. Any other error reply
/// also ends the Who-Is, as a failure (the client stopped). isEndOfWindow() is the one place that tells
/// the normal end from a failure.
class NotificationRequestWhoIs : public NotificationRequest
{
public:
    NotificationRequestWhoIs(Poco::NotificationQueue* pReplyQueue, Poco::UInt64 replyTicket,
                             Poco::UInt32 requestId, const DataType::BACnetAddress& address,
                             Poco::UInt32 lowLimit, Poco::UInt32 highLimit);

    const DataType::BACnetAddress& getAddress() const { return _address; }
    Poco::UInt32 getLowLimit() const { return _lowLimit; }
    Poco::UInt32 getHighLimit() const { return _highLimit; }
    /// True when the I-Am's device lies in the requested range.
    bool covers(const DataResponseWhoIs& iAm) const;

    bool isConfirmed() const override { return false; }
    void transmit(Network& network, Poco::UInt32 transactionId) const override;
    /// A Who-Is has no confirmed answer: any reply gives the error reply.
    NotificationResponseBase::Ptr answer(const NetworkReply& reply) const override;
    NotificationResponseBase::Ptr answerError(const DataError& error) const override;
    NotificationResponseBase::Ptr answerIAm(const DataResponseWhoIs& iAm) const;
    /// The reply that ends the answer window normally.
    NotificationResponseBase::Ptr answerEndOfWindow() const;

    /// True when `error` is the one that ends a Who-Is answer window normally.
    static bool isEndOfWindow(const DataError& error);
    /// True when `reply` is the normal end of a Who-Is answer window.
    static bool isEndOfWindow(const NotificationResponseBase& reply);

protected:
    ~NotificationRequestWhoIs() override;

private:
    const DataType::BACnetAddress _address;
    const Poco::UInt32 _lowLimit;
    const Poco::UInt32 _highLimit;
};

}  // namespace Orvik::BACnet::Client
