#include "Orvik_BACnet/DataType/Proprietary/VendorOrvik/BACnetTrendLogLastUploaded.h"
#include "MarkupMembers.h"
#include "Orvik_BACnet/ValueText.h"

namespace Orvik::BACnet::DataType::Proprietary::VendorOrvik
{

BACnetTrendLogLastUploaded::BACnetTrendLogLastUploaded(const BACnetDeviceObjectReference& reference,
                                                       const Poco::Timestamp& timeStamp,
                                                       Poco::UInt32 sequenceNumber)
    : BACnetDeviceObjectReference(reference), _timeStamp(timeStamp), _sequenceNumber(sequenceNumber)
{
}

void BACnetTrendLogLastUploaded::setLastUploaded(const Poco::Timestamp& timeStamp,
                                                 Poco::UInt32 sequenceNumber)
{
    _timeStamp = timeStamp;
    _sequenceNumber = sequenceNumber;
}

bool BACnetTrendLogLastUploaded::operator==(const BACnetTrendLogLastUploaded& other) const
{
    return BACnetDeviceObjectReference::operator==(other) && _timeStamp == other._timeStamp &&
           _sequenceNumber == other._sequenceNumber;
}

void BACnetTrendLogLastUploaded::markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const
{
    static const std::string lastUploaded = "last-uploaded";
    mf.markup(WS::MarkupFactory::BT_STRUCT, name, WS::MarkupFactory::Options().open().startArray(startArray));
    markupMembers(mf);
    std::string text;
    ValueText::appendIsoTimestamp(text, _timeStamp);
    MarkupMembers::write(mf, WS::MarkupFactory::BT_STRING, lastUploaded, text);
    if (_sequenceNumber != 0)
    {
        static const std::string lastSequenceNumber = "last-sequence-number";
        MarkupMembers::write(mf, WS::MarkupFactory::BT_UNSIGNED, lastSequenceNumber,
                             std::to_string(_sequenceNumber));
    }
    mf.closeOpenMarkup();
}

}  // namespace Orvik::BACnet::DataType::Proprietary::VendorOrvik
