#include "Packet.h"

#include <cstdio>
#include <sstream>

#include "Orvik_BACnet/ProtocolText.h"

namespace Orvik::BACnet::Codec::Test
{

namespace
{

std::string addressText(const DataType::BACnetAddress& address)
{
    std::string text;
    return address.getString(text, false);
}

std::string propertyText(const PropertyReference& property)
{
    std::string text = ProtocolText::propertyName(property.propertyId);
    if (property.hasArrayIndex())
        text += "[" + std::to_string(property.arrayIndex) + "]";
    return text;
}

std::string errorText(const ServiceError& error)
{
    return "! " + ProtocolText::errorClassName(error.errorClass) + "/" +
           ProtocolText::errorCodeName(error.errorCode);
}

std::string valueText(const ValueContainer& value, const ServiceError& error)
{
    return error.hasError() ? errorText(error) : "= " + value.getText();
}

/// Prints the service records.
class ServiceText
{
public:
    explicit ServiceText(std::ostream& out) : _out(out) {}

    void operator()(std::monostate) const {}
    void operator()(const WhoIs& whoIs) const
    {
        _out << " who-is";
        if (whoIs.hasLimits)
            _out << " " << whoIs.lowLimit << ".." << whoIs.highLimit;
    }
    void operator()(const IAm& iAm) const
    {
        _out << " i-am " << iAm.deviceIdentifier.toString() << " apdu=" << iAm.maxApduLengthAccepted
             << " segmentation=" << iAm.segmentation << " vendor=" << iAm.vendorId;
    }
    void operator()(const WhoHas& whoHas) const
    {
        _out << " who-has";
        if (whoHas.hasLimits)
            _out << " " << whoHas.lowLimit << ".." << whoHas.highLimit;
        _out << " " << (whoHas.byName ? "\"" + whoHas.objectName + "\"" : whoHas.objectIdentifier.toString());
    }
    void operator()(const WhoHas::IHave& iHave) const
    {
        _out << " i-have " << iHave.deviceIdentifier.toString() << " " << iHave.objectIdentifier.toString()
             << " \"" << iHave.objectName << "\"";
    }
    void operator()(const ReadProperty::Request& request) const
    {
        _out << " read-property " << request.objectIdentifier.toString() << " "
             << propertyText(request.property);
    }
    void operator()(const ReadProperty::Ack& ack) const
    {
        _out << " read-property-ack " << ack.objectIdentifier.toString() << " " << propertyText(ack.property)
             << " " << valueText(ack.value, ack.error);
    }
    void operator()(const std::vector<ReadPropertyMultiple::ObjectRequest>& request) const
    {
        _out << " read-property-multiple";
        for (const auto& object : request)
        {
            _out << " " << object.objectIdentifier.toString() << ":";
            for (const PropertyReference& property : object.properties)
                _out << " " << propertyText(property);
        }
    }
    void operator()(const std::vector<ReadPropertyMultiple::ObjectResult>& ack) const
    {
        _out << " read-property-multiple-ack";
        for (const auto& object : ack)
        {
            _out << " " << object.objectIdentifier.toString() << ":";
            for (const PropertyValue& result : object.results)
                _out << " " << propertyText(result.property) << " " << valueText(result.value, result.error)
                     << ";";
        }
    }
    void operator()(const ReadRange::Request& request) const
    {
        const ReadRange::Range& range = request.range;
        _out << " read-range " << request.objectIdentifier.toString() << " "
             << propertyText(request.property);
        if (range.type == ReadRange::BY_POSITION)
            _out << " by-position " << range.referenceIndex;
        else if (range.type == ReadRange::BY_SEQUENCE_NUMBER)
            _out << " by-sequence " << range.referenceSequenceNumber;
        else if (range.type == ReadRange::BY_TIME)
            _out << " by-time " << ValueContainer(BACnetValue(range.referenceTime)).getText();
        if (range.type != ReadRange::READ_ALL)
            _out << " count " << range.count;
    }
    void operator()(const ReadRange::Ack& ack) const
    {
        _out << " read-range-ack " << ack.objectIdentifier.toString() << " " << propertyText(ack.property)
             << " flags=" << ack.resultFlags << " items=" << ack.itemCount;
        if (ack.hasFirstSequenceNumber)
            _out << " first=" << ack.firstSequenceNumber;
        _out << " " << valueText(ack.items, ack.error);
    }
    void operator()(const WriteProperty::Request& request) const
    {
        _out << " write-property " << request.objectIdentifier.toString() << " "
             << propertyText(request.property) << " = " << request.value.getText();
        if (request.priority != 0)
            _out << " @" << unsigned(request.priority);
    }
    void operator()(const SubscribeCOV::Request& request) const
    {
        _out << " subscribe-cov " << request.subscriberProcessIdentifier << " "
             << request.monitoredObjectIdentifier.toString();
        if (request.hasProperty)
            _out << " " << propertyText(request.property);
        if (request.cancellation)
            _out << " cancel";
        else
            _out << (request.issueConfirmedNotifications ? " confirmed" : " unconfirmed")
                 << " lifetime=" << request.lifetime;
        if (request.hasCovIncrement)
            _out << " increment=" << request.covIncrement;
    }
    void operator()(const COVNotification& notification) const
    {
        _out << " cov-notification " << notification.subscriberProcessIdentifier << " "
             << notification.initiatingDeviceIdentifier.toString() << " "
             << notification.monitoredObjectIdentifier.toString()
             << " remaining=" << notification.timeRemaining;
        for (const PropertyValue& value : notification.values)
        {
            _out << " " << propertyText(value.property) << " " << valueText(value.value, value.error);
            if (value.priority != 0)
                _out << " @" << unsigned(value.priority);
            _out << ";";
        }
    }
    void operator()(const ServiceError& error) const { _out << " " << errorText(error); }
    void operator()(const Npdu::NetworkMessage& message) const
    {
        _out << " network-message " << unsigned(message.type);
        if (message.type == Npdu::REJECT_MESSAGE_TO_NETWORK)
            _out << " reason=" << unsigned(message.rejectReason) << " "
                 << errorText(ServiceError::fromNetworkReject(message.rejectReason));
        if (message.hasNetwork)
            _out << " network=" << message.network;
        for (std::uint16_t network : message.networks)
            _out << " " << network;
    }

private:
    std::ostream& _out;
};

template <class... Encode>
struct Overloaded : Encode...
{
    using Encode::operator()...;
};
template <class... Encode>
Overloaded(Encode...) -> Overloaded<Encode...>;

/// Builds the service data of the records again.
Octets serviceOctets(const Packet::Service& service, const Apdu::Message& apdu)
{
    using RPM = ReadPropertyMultiple;
    return std::visit(
        Overloaded{[&](std::monostate) { return apdu.serviceData.toOctets(); },
                   [](const auto& record) -> decltype(record.encode()) { return record.encode(); },
                   [](const ReadProperty::Request& r) { return ReadProperty::encodeRequest(r); },
                   [](const ReadProperty::Ack& r) { return ReadProperty::encodeAck(r); },
                   [](const std::vector<RPM::ObjectRequest>& r) { return RPM::encodeRequest(r); },
                   [](const std::vector<RPM::ObjectResult>& r) { return RPM::encodeAck(r); },
                   [](const ReadRange::Request& r) { return ReadRange::encodeRequest(r); },
                   [](const ReadRange::Ack& r) { return ReadRange::encodeAck(r); },
                   [](const WriteProperty::Request& r) { return WriteProperty::encodeRequest(r); },
                   [](const SubscribeCOV::Request& r) { return SubscribeCOV::encodeRequest(r); },
                   [&](const ServiceError& r) { return r.encode(apdu.header.serviceChoice); },
                   [](const Npdu::NetworkMessage&) { return Octets(); }},
        service);
}

}  // namespace

Packet Packet::decode(OctetView datagram)
{
    Packet packet;
    packet._datagram = datagram.toOctets();
    packet._bvll = Bvll::decode(packet._datagram);
    if (packet._bvll.carriesNpdu())
    {
        packet._npdu = Npdu::decode(packet._bvll.payload);
        if (packet._npdu.header.isNetworkMessage)
            packet._service = Npdu::decodeNetworkMessage(packet._npdu);
        else
        {
            packet._apdu = Apdu::decode(packet._npdu.payload);
            packet.decodeService();
        }
    }
    return packet;
}

void Packet::decodeService()
{
    const Apdu::Header& header = _apdu.header;
    const OctetView data = _apdu.serviceData;
    const std::uint8_t service = header.serviceChoice;
    if (header.segmented)
        return;  // one segment of a message: the service data is read when all have arrived
    switch (header.type)
    {
        case Apdu::UNCONFIRMED_REQUEST:
            if (service == WhoIs::_SERVICE)
                _service = WhoIs::decode(data);
            else if (service == IAm::_SERVICE)
                _service = IAm::decode(data);
            else if (service == WhoHas::_SERVICE)
                _service = WhoHas::decode(data);
            else if (service == WhoHas::_I_HAVE_SERVICE)
                _service = WhoHas::IHave::decode(data);
            else if (service == COVNotification::_UNCONFIRMED_SERVICE)
                _service = COVNotification::decode(data);
            break;
        case Apdu::CONFIRMED_REQUEST:
            if (service == ReadProperty::_SERVICE)
                _service = ReadProperty::decodeRequest(data);
            else if (service == ReadPropertyMultiple::_SERVICE)
                _service = ReadPropertyMultiple::decodeRequest(data);
            else if (service == ReadRange::_SERVICE)
                _service = ReadRange::decodeRequest(data);
            else if (service == WriteProperty::_SERVICE)
                _service = WriteProperty::decodeRequest(data);
            else if (service == SERVICE_CONFIRMED_SUBSCRIBE_COV ||
                     service == SERVICE_CONFIRMED_SUBSCRIBE_COV_PROPERTY)
                _service = SubscribeCOV::decodeRequest(data, service);
            else if (service == COVNotification::_CONFIRMED_SERVICE)
                _service = COVNotification::decode(data);
            break;
        case Apdu::COMPLEX_ACK:
            if (service == ReadProperty::_SERVICE)
                _service = ReadProperty::decodeAck(data);
            else if (service == ReadPropertyMultiple::_SERVICE)
                _service = ReadPropertyMultiple::decodeAck(data);
            else if (service == ReadRange::_SERVICE)
                _service = ReadRange::decodeAck(data);
            break;
        case Apdu::ERROR:
            _service = ServiceError::decode(data, service);
            break;
        case Apdu::REJECT:
            _service = ServiceError::fromReject(service);
            break;
        case Apdu::ABORT:
            _service = ServiceError::fromAbort(service);
            break;
        default:
            break;
    }
}

std::string Packet::describe() const
{
    static const char* const functions[] = {
        "result",       "write-bdt",  "read-bdt",   "read-bdt-ack", "forwarded", "register", "read-fdt",
        "read-fdt-ack", "delete-fdt", "distribute", "unicast",      "broadcast", "secure"};
    static const char* const types[] = {"confirmed",   "unconfirmed", "simple-ack", "complex-ack",
                                        "segment-ack", "error",       "reject",     "abort"};
    std::ostringstream out;
    out << functions[_bvll.function];
    if (_bvll.function == Bvll::BVLC_RESULT)
        out << " " << _bvll.result;
    if (_bvll.function == Bvll::REGISTER_FOREIGN_DEVICE)
        out << " ttl=" << _bvll.timeToLive;
    if (_bvll.function == Bvll::FORWARDED_NPDU)
        out << " from " << addressText(_bvll.originalSource.toAddress());
    if (!_bvll.carriesNpdu())
        return out.str();
    const Npdu::Header& npdu = _npdu.header;
    out << " |";
    if (npdu.expectingReply)
        out << " reply";
    if (npdu.priority != Npdu::PRIORITY_NORMAL)
        out << " priority=" << unsigned(npdu.priority);
    if (npdu.hasDestination)
        out << " to " << addressText(npdu.destination) << " hops=" << unsigned(npdu.hopCount);
    if (npdu.hasSource)
        out << " from " << addressText(npdu.source);
    if (npdu.isNetworkMessage)
    {
        std::visit(ServiceText(out), _service);
        return out.str();
    }
    const Apdu::Header& apdu = _apdu.header;
    out << " | " << types[apdu.type];
    if (apdu.type != Apdu::UNCONFIRMED_REQUEST)
        out << " id=" << unsigned(apdu.invokeId);
    if (apdu.type == Apdu::CONFIRMED_REQUEST)
        out << " apdu=" << apdu.maxApdu << " segments=" << unsigned(apdu.maxSegments)
            << (apdu.segmentedResponseAccepted ? " accepts-segments" : "");
    if (apdu.segmented || apdu.type == Apdu::SEGMENT_ACK)
        out << " seq=" << unsigned(apdu.sequenceNumber) << " window=" << unsigned(apdu.windowSize)
            << (apdu.moreFollows ? " more" : "");
    if (apdu.negativeAck)
        out << " nak";
    if (apdu.server)
        out << " server";
    if (apdu.type != Apdu::SEGMENT_ACK)
        out << " service=" << unsigned(apdu.serviceChoice);
    std::visit(ServiceText(out), _service);
    return out.str();
}

Octets Packet::encode() const
{
    Bvll::Message bvll = _bvll;
    Octets npdu;
    if (_bvll.carriesNpdu())
    {
        if (_npdu.header.isNetworkMessage)
            npdu = Npdu::encodeNetworkMessage(_npdu.header, std::get<Npdu::NetworkMessage>(_service));
        else
        {
            const bool carriesData = _apdu.header.type != Apdu::REJECT && _apdu.header.type != Apdu::ABORT;
            const Octets serviceData = carriesData ? serviceOctets(_service, _apdu) : Octets();
            const Octets apdu = Apdu::encode(_apdu.header, serviceData);
            npdu = Npdu::encode(_npdu.header, apdu);
        }
        bvll.payload = npdu;
    }
    return Bvll::encode(bvll);
}

Octets Packet::fromHex(const std::string& hex)
{
    Octets octets;
    std::string digits;
    for (char c : hex)
    {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        octets.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return octets;
}

std::string Packet::toHex(const Octets& octets)
{
    std::string hex;
    char buffer[4];
    for (std::uint8_t octet : octets)
    {
        std::snprintf(buffer, sizeof(buffer), hex.empty() ? "%02x" : " %02x", octet);
        hex += buffer;
    }
    return hex;
}

}  // namespace Orvik::BACnet::Codec::Test
