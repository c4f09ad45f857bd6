// Markup of the constructed datatypes and of value containers, read back from the XML writer's output
// with Poco's DOM parser.

#include <sstream>

#include <gtest/gtest.h>

#include <Poco/AutoPtr.h>
#include <Poco/DOM/DOMParser.h>
#include <Poco/DOM/DOMWriter.h>
#include <Poco/DOM/Document.h>
#include <Poco/DOM/Element.h>
#include <Poco/DOM/NodeList.h>

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnet/WS/MarkupFactoryXML.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::DataType;

namespace
{

/// Writes whatever `write` writes inside a root Sequence and parses the document.
template <class Write>
Poco::AutoPtr<Poco::XML::Document> writeAndParse(Write write)
{
    std::ostringstream out;
    {
        WS::MarkupFactoryXML mf(out, false, false);
        mf.markup(WS::MarkupFactory::BT_STRUCT, "root", false, false);
        write(mf);
        mf.closeAllOpenMarkups();
    }
    Poco::XML::DOMParser parser;
    return parser.parseString(out.str());
}

/// The first element whose name attribute is `name`, or null.
Poco::XML::Element* named(Poco::XML::Document& document, const std::string& name)
{
    Poco::AutoPtr<Poco::XML::NodeList> all = document.getElementsByTagName("*");
    for (unsigned long i = 0; i < all->length(); ++i)
    {
        auto* element = static_cast<Poco::XML::Element*>(all->item(i));
        if (element->getAttribute("name") == name)
        {
            return element;
        }
    }
    return nullptr;
}

std::string valueOf(Poco::XML::Document& document, const std::string& name)
{
    Poco::XML::Element* element = named(document, name);
    return element == nullptr ? "<missing>" : element->getAttribute("value");
}

}  // namespace

TEST(DataTypeMarkupTest, ReferenceWritesItselfUnderTheStandardPropertyName)
{
    const BACnetDeviceObjectPropertyReference withDevice(
        ObjectIdentifier(OBJECT_ANALOG_INPUT, 5), PROP_PRESENT_VALUE, 3, ObjectIdentifier(OBJECT_DEVICE, 7));
    auto document =
        writeAndParse([&](WS::MarkupFactory& mf)
                      { withDevice.markupByPropertyIdentifier(mf, PROP_LOG_DEVICE_OBJECT_PROPERTY, false); });
    Poco::XML::Element* reference = named(*document, "log-device-object-property");
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(reference->tagName(), "Sequence");
    EXPECT_EQ(valueOf(*document, "object-identifier"), "analog-input:5");
    EXPECT_EQ(valueOf(*document, "property-identifier"), "present-value");
    EXPECT_EQ(valueOf(*document, "property-array-index"), "3");
    EXPECT_EQ(valueOf(*document, "device-identifier"), "device:7");

    const BACnetDeviceObjectPropertyReference local(ObjectIdentifier(OBJECT_ANALOG_INPUT, 5),
                                                    PROP_PRESENT_VALUE);
    document = writeAndParse([&](WS::MarkupFactory& mf) { local.markup(mf, "ref", false); });
    EXPECT_EQ(named(*document, "device-identifier"), nullptr);
    EXPECT_EQ(named(*document, "property-array-index"), nullptr);
}

TEST(DataTypeMarkupTest, ChoicesAddressesAndPositionsWriteTheirMembers)
{
    BACnetAddress address;
    address.setNetworkNumber(5);
    address.setMAC("0a:0b");
    const BACnetTimeStamp sequence(17u);
    const Proprietary::VendorOrvik::BACnetTrendLogLastUploaded position(
        BACnetDeviceObjectReference(ObjectIdentifier(OBJECT_DEVICE, 7), ObjectIdentifier(OBJECT_TRENDLOG, 3)),
        Poco::Timestamp(1700000000123456), 4711);
    auto document = writeAndParse(
        [&](WS::MarkupFactory& mf)
        {
            address.markup(mf, "address", false);
            sequence.markup(mf, "stamp", false);
            position.markup(mf, "position", false);
        });
    EXPECT_EQ(valueOf(*document, "network-number"), "5");
    EXPECT_EQ(valueOf(*document, "mac-address"), "0a0b");
    EXPECT_EQ(named(*document, "stamp")->tagName(), "Choice");
    EXPECT_EQ(valueOf(*document, "sequence-number"), "17");
    EXPECT_EQ(valueOf(*document, "last-uploaded"), "2023-11-14T22:13:20.123456Z");
    EXPECT_EQ(valueOf(*document, "last-sequence-number"), "4711");
    EXPECT_EQ(valueOf(*document, "object-identifier"), "trend-log:3");
}

TEST(DataTypeMarkupTest, ContainersWriteNullSingleCollectionsAndLogRecords)
{
    ValueContainer none;
    ValueContainer single;
    single.setCharString("Hall <A> & \"B\"");
    ValueContainer array;
    array.append(BACnetValue::makeReal(1.5f));
    array.append(BACnetValue());
    array.setStructure(BACNET_DTS_ARRAY);
    BACnetLogRecord failure;
    failure.setDateTime(BACnetDateTime(Date(2024, 3, 5, 2), Time(14, 2, 7, 12)));
    failure.setFailure(ERROR_CLASS_PROPERTY, ERROR_CODE_UNKNOWN_PROPERTY);
    BitString flags(4);
    flags.setBit(1, true);
    failure.setStatusFlags(flags);
    ValueContainer page;
    page.append(BACnetValue(failure));
    page.setStructure(BACNET_DTS_LIST);
    auto document = writeAndParse(
        [&](WS::MarkupFactory& mf)
        {
            none.markup(mf, "none", false, BACNET_DT_NULL);
            single.markup(mf, "single", false, BACNET_DT_NULL);
            array.markup(mf, "array", false, BACNET_DT_NULL);
            page.markup(mf, "values", false, BACNET_DT_NULL);
        });
    EXPECT_EQ(named(*document, "none")->tagName(), "Null");
    EXPECT_EQ(named(*document, "single")->tagName(), "String");
    EXPECT_EQ(valueOf(*document, "single"), "Hall <A> & \"B\"");
    Poco::XML::Element* collection = named(*document, "array");
    ASSERT_NE(collection, nullptr);
    EXPECT_EQ(collection->tagName(), "Array");
    EXPECT_EQ(valueOf(*document, "1"), "1.5");
    EXPECT_EQ(named(*document, "2")->tagName(), "Null");
    // Every member of a record: its time, the failure and the status flags.
    std::ostringstream record;
    Poco::XML::DOMWriter().writeNode(record, named(*document, "values"));
    for (const char* part : {"DateTime", "unknown-property", "0100"})
        EXPECT_NE(record.str().find(part), std::string::npos) << part << " in " << record.str();
}
