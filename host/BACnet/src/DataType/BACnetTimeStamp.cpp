#include "Orvik_BACnet/DataType/BACnetTimeStamp.h"
#include "MarkupMembers.h"
#include "Orvik_BACnet/ProtocolText.h"

namespace Orvik::BACnet::DataType
{

BACnetTimeStamp::BACnetTimeStamp(const Time& time) : _choice(TIME_STAMP_TIME)
{
    _dateTime.time = time;
}

BACnetTimeStamp::BACnetTimeStamp(std::uint32_t sequenceNumber)
    : _choice(TIME_STAMP_SEQUENCE_NUMBER), _sequenceNumber(sequenceNumber)
{
}

BACnetTimeStamp::BACnetTimeStamp(const BACnetDateTime& dateTime)
    : _choice(TIME_STAMP_DATETIME), _dateTime(dateTime)
{
}

bool BACnetTimeStamp::operator==(const BACnetTimeStamp& other) const
{
    return _choice == other._choice && _sequenceNumber == other._sequenceNumber &&
           _dateTime == other._dateTime;
}

void BACnetTimeStamp::markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const
{
    mf.markup(WS::MarkupFactory::BT_CHOICE, name, WS::MarkupFactory::Options().open().startArray(startArray));
    const std::string choice = ProtocolText::enumerationName("BACnetTimeStamp.choice", _choice);
    switch (_choice)
    {
        case TIME_STAMP_TIME:
            MarkupMembers::writeValue(mf, choice, BACnetValue(getTime()), false, BACNET_DT_NULL);
            break;
        case TIME_STAMP_DATETIME:
            _dateTime.markup(mf, choice, false);
            break;
        default:
            MarkupMembers::writeValue(mf, choice, BACnetValue::makeUnsigned(_sequenceNumber), false,
                                      BACNET_DT_NULL);
            break;
    }
    mf.closeOpenMarkup();
}

}  // namespace Orvik::BACnet::DataType
