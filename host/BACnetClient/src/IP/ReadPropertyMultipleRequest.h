#pragma once

#include "ConfirmedRequest.h"
#include "Orvik_BACnet/Codec/ReadPropertyMultiple.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_BACnetClient/NotificationRequestRPM.h"

#include <deque>
#include <vector>

namespace Orvik::BACnet::Client::IP
{

/// A ReadPropertyMultiple that is split into smaller ones when the device cannot take or answer it
/// whole, with the answers merged into one, in the order of the request.
///
///   - fitTo splits the request until the part to send fits the device's max APDU (each later part is
///     split when its turn comes); false when one property alone does not fit.
///   - An answer that says the part or its answer was too large for the device (isSizeError), or a
///     reject for another reason than an unrecognized service, splits the part into two halves by
///     property count, down to one property. A single property that still fails gets that error as its
///     result.
///   - Any other error ends the whole request when it was not split yet (the device refused it as a
///     whole); after a split, the properties of the failed part get the error as their results.
///   - An object whose properties were split over two parts is merged back into one result.
///
/// Throws Poco::InvalidArgumentException (from the constructor) for an empty request or an object
/// without properties.
class ReadPropertyMultipleRequest : public ConfirmedRequest
{
public:
    ReadPropertyMultipleRequest(Poco::UInt32 deviceInstance,
                                const std::vector<NotificationRequestRPM::Parameter>& parameters);

    bool expectsComplexAck() const override { return true; }
    bool fitTo(Poco::UInt32 maxApdu, bool deviceSegments) override;
    Outcome takeAck(const Codec::OctetView& serviceData) override;
    Outcome takeError(const DataError& error) override;

private:
    using ObjectRequests = std::vector<Codec::ReadPropertyMultiple::ObjectRequest>;

    class Part
    {
    public:
        ObjectRequests objects;
        /// The first object goes on with the properties of the last object of the part before.
        bool continuesObject = false;
    };

    static std::size_t propertyCount(const Part& part);
    static std::pair<Part, Part> halve(const Part& part);
    static bool splits(const DataError& error);
    bool fits(const Part& part) const;
    void splitToFit(std::deque<Part>& parts) const;
    Outcome sendFront();
    Outcome next();
    void merge(const std::vector<Codec::ReadPropertyMultiple::ObjectResult>& results, bool continuesObject);
    void fail(const Part& part, const DataError& error);

    std::deque<Part> _parts;
    std::vector<DataResponseRPM> _results;
    Poco::UInt32 _maxApdu = 1476;
    bool _split = false;
};

}  // namespace Orvik::BACnet::Client::IP
