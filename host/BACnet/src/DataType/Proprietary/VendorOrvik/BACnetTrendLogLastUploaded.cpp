#include "Orvik_BACnet/DataType/Proprietary/VendorOrvik/BACnetTrendLogLastUploaded.h"
#include "MarkupMembers.h"
#include "Orvik_BACnet/ValueText.h"

namespace Orvik
{
namespace BACnet
{
namespace DataType
{
namespace Proprietary
{
namespace VendorOrvik
{

BACnetTrendLogLastUploaded::BACnetTrendLogLastUploaded(const BACnetDeviceObjectReference& reference,
                                                       const Poco::Timestamp& timeStamp)
    : BACnetDeviceObjectReference(reference), _timeStamp(timeStamp)
{
}

bool BACnetTrendLogLastUploaded::operator==(const BACnetTrendLogLastUploaded& other) const
{
    return BACnetDeviceObjectReference::operator==(other) && _timeStamp == other._timeStamp;
}

void BACnetTrendLogLastUploaded::markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const
{
    static const std::string lastUploaded = "last-uploaded";
    mf.markup(WS::MarkupFactory::BT_STRUCT, name, false, startArray);
    markupMembers(mf);
    std::string text;
    ValueText::appendIsoTimestamp(text, _timeStamp);
    MarkupMembers::write(mf, WS::MarkupFactory::BT_STRING, lastUploaded, text);
    mf.closeOpenMarkup();
}

}  // namespace VendorOrvik
}  // namespace Proprietary
}  // namespace DataType
}  // namespace BACnet
}  // namespace Orvik
