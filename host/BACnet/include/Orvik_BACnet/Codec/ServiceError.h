#pragma once

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/OctetView.h"

#include <string>

namespace Orvik
{
namespace BACnet
{
namespace Codec
{

/// An error class and code (the client's DataError), and the service data of the Error PDU.
/// The default holds no error (class and code 65535).
///
/// Reject and Abort PDUs carry only a reason; fromReject and fromAbort give the error of class
/// communication with the matching reject-... or abort-... code, so that a caller reports all three
/// the same way.
struct ServiceError
{
    BACNET_ERROR_CLASS errorClass = MAX_BACNET_ERROR_CLASS;
    BACNET_ERROR_CODE errorCode = MAX_BACNET_ERROR_CODE;

    ServiceError() = default;
    ServiceError(BACNET_ERROR_CLASS anErrorClass, BACNET_ERROR_CODE anErrorCode)
        : errorClass(anErrorClass), errorCode(anErrorCode)
    {
    }

    bool hasError() const { return errorClass < MAX_BACNET_ERROR_CLASS; }
    /// "<class name>: <code name>", for example "property: unknown-property"; numbers stand for
    /// values without a standard name; "no error" without error.
    std::string getString() const;

    /// Error PDU service data of `service`: class and code. Throws Poco::InvalidArgumentException
    /// without error, and for the services whose error is a record with fields of their own (see
    /// decode()).
    Octets encode(std::uint8_t service) const;
    /// Reads the Error PDU service data of `service` (BACNET_CONFIRMED_SERVICE). Most services carry
    /// class and code; the few whose error is a constructed record (the list element, create object,
    /// write multiple, private transfer, VT close and multiple COV services) carry them in its first
    /// field, and the rest of the record is skipped. Throws DecodeError for malformed data, and for a
    /// class from 65533 on (those numbers mean abort, reject and "no error" here).
    static ServiceError decode(OctetView serviceData, std::uint8_t service);
    /// Class and code as the two ENUMERATED values at the cursor (an Error, a property access error, a
    /// failure log datum); the same checks as decode().
    static ServiceError read(Decoder& in);

    /// Communication error for a Reject reason (BACNET_REJECT_REASON) or an Abort reason
    /// (BACNET_ABORT_REASON); a reason without its own code gives reject-other / abort-other, a
    /// proprietary one (64 and above) reject-proprietary / abort-proprietary.
    static ServiceError fromReject(std::uint8_t reason);
    static ServiceError fromAbort(std::uint8_t reason);
    /// Communication error for the reason of a Reject-Message-To-Network (Npdu::RejectReason):
    /// not-router-to-dnet, router-busy, unknown-network-message, message-too-long, security-error,
    /// addressing-error; other for any other reason.
    static ServiceError fromNetworkReject(std::uint8_t reason);
    /// Communication: timeout, the one error of a confirmed request that got no answer in time (after
    /// its retries, or by the client worker's safety deadline).
    static ServiceError timeout();

    bool operator==(const ServiceError& other) const
    {
        return errorClass == other.errorClass && errorCode == other.errorCode;
    }
    bool operator!=(const ServiceError& other) const { return !(*this == other); }
};

}  // namespace Codec
}  // namespace BACnet
}  // namespace Orvik
