#include "ReadPropertyMultipleRequest.h"

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "RecordConversion.h"

namespace Orvik::BACnet::Client::IP
{

ReadPropertyMultipleRequest::ReadPropertyMultipleRequest(
    Poco::UInt32 deviceInstance, const std::vector<NotificationRequestRPM::Parameter>& parameters)
    : ConfirmedRequest(deviceInstance, Codec::ReadPropertyMultiple::_SERVICE, Codec::Octets(), nullptr)
{
    _parts.push_back(Part{RecordConversion::objectRequestsOf(parameters), false});
    setServiceData(Codec::ReadPropertyMultiple::encodeRequest(_parts.front().objects));
}

bool ReadPropertyMultipleRequest::fitTo(Poco::UInt32 maxApdu, bool)
{
    _maxApdu = maxApdu;
    if (fits(_parts.front()))
        return true;
    _split = true;
    sendFront();
    return fits(_parts.front());
}

ConfirmedRequest::Outcome ReadPropertyMultipleRequest::takeAck(const Codec::OctetView& serviceData)
{
    std::vector<Codec::ReadPropertyMultiple::ObjectResult> results;
    try
    {
        results = Codec::ReadPropertyMultiple::decodeAck(serviceData);
    }
    catch (const Codec::DecodeError& e)
    {
        return takeError(malformed(e));
    }
    merge(results, _parts.front().continuesObject);
    return next();
}

ConfirmedRequest::Outcome ReadPropertyMultipleRequest::takeError(const DataError& error)
{
    const Part failed = _parts.front();
    if (splits(error) && propertyCount(failed) > 1)
    {
        _parts.pop_front();
        std::pair<Part, Part> halves = halve(failed);
        _parts.push_front(std::move(halves.second));
        _parts.push_front(std::move(halves.first));
        _split = true;
        return sendFront();
    }
    if (!_split)
        return finish(error);
    fail(failed, error);
    return next();
}

// ---- parts ---------------------------------------------------------------------------------------------

std::size_t ReadPropertyMultipleRequest::propertyCount(const Part& part)
{
    std::size_t count = 0;
    for (const auto& object : part.objects)
        count += object.properties.size();
    return count;
}

std::pair<ReadPropertyMultipleRequest::Part, ReadPropertyMultipleRequest::Part>
ReadPropertyMultipleRequest::halve(const Part& part)
{
    std::size_t firstCount = propertyCount(part) / 2;
    Part first{{}, part.continuesObject};
    Part second;
    for (const auto& object : part.objects)
    {
        if (firstCount >= object.properties.size())
        {
            first.objects.push_back(object);
            firstCount -= object.properties.size();
            continue;
        }
        if (firstCount > 0)
        {
            // The object's properties go into both halves: the second one continues it.
            const auto middle = object.properties.begin() + static_cast<std::ptrdiff_t>(firstCount);
            first.objects.push_back({object.objectIdentifier, std::vector<Codec::PropertyReference>(
                                                                  object.properties.begin(), middle)});
            second.objects.push_back({object.objectIdentifier, std::vector<Codec::PropertyReference>(
                                                                   middle, object.properties.end())});
            second.continuesObject = true;
            firstCount = 0;
            continue;
        }
        second.objects.push_back(object);
    }
    return {std::move(first), std::move(second)};
}

bool ReadPropertyMultipleRequest::splits(const DataError& error)
{
    if (isSizeError(error))
        return true;
    return error.errorClass == ERROR_CLASS_REJECT &&
           error.errorCode != ERROR_CODE_REJECT_UNRECOGNIZED_SERVICE;
}

bool ReadPropertyMultipleRequest::fits(const Part& part) const
{
    return _HEADER_SIZE + Codec::ReadPropertyMultiple::encodeRequest(part.objects).size() <= _maxApdu;
}

void ReadPropertyMultipleRequest::splitToFit(std::deque<Part>& parts) const
{
    std::deque<Part> fitting;
    while (!parts.empty())
    {
        Part part = std::move(parts.front());
        parts.pop_front();
        if (fits(part) || propertyCount(part) <= 1)
        {
            fitting.push_back(std::move(part));
            continue;
        }
        std::pair<Part, Part> halves = halve(part);
        parts.push_front(std::move(halves.second));
        parts.push_front(std::move(halves.first));
    }
    parts.swap(fitting);
}

ConfirmedRequest::Outcome ReadPropertyMultipleRequest::sendFront()
{
    std::deque<Part> front{_parts.front()};
    if (!fits(front.front()))
    {
        // A half of a part that did not fit may still be too large: split it further first.
        _parts.pop_front();
        splitToFit(front);
        _parts.insert(_parts.begin(), front.begin(), front.end());
    }
    setServiceData(Codec::ReadPropertyMultiple::encodeRequest(_parts.front().objects));
    return SEND_NEXT_PART;
}

ConfirmedRequest::Outcome ReadPropertyMultipleRequest::next()
{
    _parts.pop_front();
    if (_parts.empty())
        return finish(_results);
    return sendFront();
}

void ReadPropertyMultipleRequest::merge(const std::vector<Codec::ReadPropertyMultiple::ObjectResult>& results,
                                        bool continuesObject)
{
    for (const auto& result : results)
    {
        const bool continues = continuesObject && !_results.empty() &&
                               _results.back().objectIdentifier == result.objectIdentifier;
        if (!continues)
            _results.emplace_back(result.objectIdentifier);
        for (const Codec::PropertyValue& value : result.results)
            _results.back().values.push_back(RecordConversion::resultOf(value));
        continuesObject = false;
    }
}

void ReadPropertyMultipleRequest::fail(const Part& part, const DataError& error)
{
    bool continuesObject = part.continuesObject;
    for (const auto& object : part.objects)
    {
        const bool continues = continuesObject && !_results.empty() &&
                               _results.back().objectIdentifier == object.objectIdentifier;
        if (!continues)
            _results.emplace_back(object.objectIdentifier);
        for (const Codec::PropertyReference& property : object.properties)
            _results.back().values.emplace_back(RecordConversion::propertyRefOf(property), error);
        continuesObject = false;
    }
}

}  // namespace Orvik::BACnet::Client::IP
