#pragma once

#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/NetworkReply.h"
#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"

#include <Poco/Types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace Orvik::BACnet::Client::IP
{

/// One confirmed request of the client worker as a BACnet/IP network carries it: the device, the
/// service, the service data of the part that goes on the wire now, and what the answer makes of the
/// transaction. Most requests are one part; a request may answer an ACK or error with a smaller part to
/// send next (ReadPropertyMultipleRequest, ReadRangeRequest), under the same transaction.
///
/// WriteProperty and SubscribeCOV(Property) are made by the factory functions; they throw
/// Poco::InvalidArgumentException for a request that has no encoding (a priority above 16, a value
/// without encoding). Not thread-safe: the network holds its lock.
class ConfirmedRequest
{
public:
    enum Outcome
    {
        FINISHED,        ///< reply() is the end of the transaction
        SEND_NEXT_PART,  ///< serviceData() holds the next part to send
    };

    /// The header of an unsegmented Confirmed-Request in front of the service data.
    static constexpr std::size_t _HEADER_SIZE = 4;

    static std::unique_ptr<ConfirmedRequest> writeProperty(const DataPropertyKey& key, Poco::UInt32 priority,
                                                           const ValueContainer& value);
    /// The key's property MAX_BACNET_PROPERTY_ID: SubscribeCOV, any other: SubscribeCOVProperty.
    static std::unique_ptr<ConfirmedRequest> subscribeCOV(
        const DataPropertyKey& key, const NotificationRequestSubscribeCOV::Parameters& parameters);

    virtual ~ConfirmedRequest() = default;

    Poco::UInt32 deviceInstance() const { return _deviceInstance; }
    std::uint8_t service() const { return _service; }
    /// False: the answer is a Simple-ACK.
    virtual bool expectsComplexAck() const { return static_cast<bool>(_readAck); }
    const Codec::Octets& serviceData() const { return _serviceData; }
    std::size_t apduSize() const { return _HEADER_SIZE + _serviceData.size(); }

    /// Shapes the request for a device that takes APDUs of up to `maxApdu` octets and, with
    /// `deviceSegments`, answers with segments; true when the part to send fits.
    virtual bool fitTo(Poco::UInt32 maxApdu, bool deviceSegments);
    /// The ACK of the part on the wire: Complex-ACK service data (all segments), empty for a Simple-ACK.
    virtual Outcome takeAck(const Codec::OctetView& serviceData);
    /// The device's Error, Reject or Abort for the part on the wire.
    virtual Outcome takeError(const DataError& error);
    /// True when every ACK ends the transaction (takeAck always answers FINISHED) and takeAck touches only
    /// this request and thread-safe state that it shares in ownership: the network may then leave the
    /// ACK to be read after the transaction ended (UnreadAck), on another thread, without its lock and
    /// after it is closed. Worth it for long ACKs only.
    virtual bool ackEndsTransaction() const { return false; }
    /// The end of the transaction, after FINISHED; once.
    NetworkReply takeReply() { return std::move(*_reply); }

    /// True for errors that say the request or its answer was too large for the device: an abort for
    /// buffer overflow, segmentation or APDU length, a reject for buffer overflow.
    static bool isSizeError(const DataError& error);
    /// The error for an ACK that cannot be read.
    static DataError malformed(const Poco::Exception& error);

protected:
    /// Reads a Complex-ACK; throws Codec::DecodeError for one that is malformed as a whole. Null: the
    /// answer is a Simple-ACK, unless a subclass reads its ACK itself.
    using AckReader = std::function<NetworkReply::Payload(const Codec::OctetView&)>;

    ConfirmedRequest(Poco::UInt32 deviceInstance, std::uint8_t service, Codec::Octets serviceData,
                     AckReader readAck);

    void setServiceData(Codec::Octets serviceData) { _serviceData = std::move(serviceData); }
    /// The next part asks with another service.
    void setService(std::uint8_t service) { _service = service; }
    Outcome finish(NetworkReply::Payload payload);
    /// The payload finish() was given, to amend.
    NetworkReply::Payload& finishedPayload() { return _reply->payload; }

private:
    const Poco::UInt32 _deviceInstance;
    std::uint8_t _service;
    Codec::Octets _serviceData;
    const AckReader _readAck;
    std::optional<NetworkReply> _reply;
};

}  // namespace Orvik::BACnet::Client::IP
