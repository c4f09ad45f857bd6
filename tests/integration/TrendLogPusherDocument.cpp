#include "TrendLogPusherDocument.h"

#include <Poco/DOM/AutoPtr.h>
#include <Poco/DOM/DOMParser.h>
#include <Poco/DOM/Document.h>
#include <Poco/DOM/Element.h>
#include <Poco/Exception.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>

#include <algorithm>
#include <sstream>

#include "Orvik_BACnet/WS/MarkupFactoryJSON.h"
#include "Orvik_BACnet/WS/MarkupFactoryXML.h"

namespace
{

using Node = TrendLogPusherDocument::Node;

Node fromXml(const Poco::XML::Element& element)
{
    Node node{element.getAttribute("name"), element.tagName(), element.getAttribute("value"), {}};
    for (Poco::XML::Node* pChild = element.firstChild(); pChild != nullptr; pChild = pChild->nextSibling())
    {
        if (pChild->nodeType() == Poco::XML::Node::ELEMENT_NODE)
            node.children.push_back(fromXml(static_cast<const Poco::XML::Element&>(*pChild)));
    }
    return node;
}

Node fromJson(const std::string& name, const Poco::JSON::Object& object)
{
    Node node{name, object.optValue<std::string>("$base", ""), "", {}};
    if (object.has("$value"))
        node.value = object.get("$value").convert<std::string>();
    // Members in the order the parser kept them, then the items of "$items" in array order.
    for (const auto& [memberName, member] : object)
    {
        if (!memberName.empty() && memberName[0] != '$' && member.type() == typeid(Poco::JSON::Object::Ptr))
            node.children.push_back(fromJson(memberName, *member.extract<Poco::JSON::Object::Ptr>()));
    }
    if (Poco::JSON::Array::Ptr pItems = object.getArray("$items"))
    {
        for (std::size_t i = 0; i < pItems->size(); ++i)
        {
            Poco::JSON::Object::Ptr pItem = pItems->getObject(i);
            node.children.push_back(fromJson(pItem->optValue<std::string>("$name", ""), *pItem));
        }
    }
    return node;
}

Node parse(const std::string& text, bool json)
{
    if (!json)
    {
        Poco::XML::DOMParser parser;
        Poco::AutoPtr<Poco::XML::Document> pDocument = parser.parseString(text);
        return fromXml(*pDocument->documentElement());
    }
    Poco::JSON::Parser parser;
    Poco::JSON::Object::Ptr pDocument = parser.parse(text).extract<Poco::JSON::Object::Ptr>();
    if (pDocument->size() != 1)
        throw Poco::DataFormatException("a document has exactly one top-level element");
    const auto& top = *pDocument->begin();
    return fromJson(top.first, *top.second.extract<Poco::JSON::Object::Ptr>());
}

}  // namespace

const Node& Node::child(const std::string& childName) const
{
    const auto found = std::find_if(children.begin(), children.end(),
                                    [&](const Node& node) { return node.name == childName; });
    if (found == children.end())
        throw Poco::NotFoundException("no element named " + childName + " in " + name);
    return *found;
}

bool Node::hasChild(const std::string& childName) const
{
    return std::any_of(children.begin(), children.end(),
                       [&](const Node& node) { return node.name == childName; });
}

std::vector<std::string> Node::childNames() const
{
    std::vector<std::string> names;
    for (const Node& node : children)
        names.push_back(node.name);
    return names;
}

std::string Node::canonical() const
{
    std::string text = base + "=" + value + "{";
    for (const Node& node : children)
        text += node.name + ":" + node.canonical() + ";";
    return text + "}";
}

TrendLogPusherDocument::TrendLogPusherDocument(const std::string& text)
    : _json(!text.empty() && text[0] != '<'), _root(parse(text, _json))
{
}

std::vector<std::string> TrendLogPusherDocument::records(const std::string& channelIdentifier) const
{
    std::vector<std::string> records;
    for (const Node& page : _root.child("tl-data").children)
    {
        std::string identifier;
        for (const Node& channel : page.children)
            identifier += (identifier.empty() ? "" : "+") + channel.child("unique-idetnifier").value;
        if (identifier == channelIdentifier && !page.children.empty())
        {
            for (const Node& record : page.children.front().child("values").children)
                records.push_back(record.canonical());
        }
    }
    return records;
}

std::string TrendLogPusherDocument::canonicalRecord(const Orvik::BACnet::DataType::BACnetLogRecord& record,
                                                    bool json)
{
    std::ostringstream out;
    {
        std::unique_ptr<Orvik::BACnet::WS::MarkupFactory> pMf;
        if (json)
            pMf = std::make_unique<Orvik::BACnet::WS::MarkupFactoryJSON>(out, false, false);
        else
            pMf = std::make_unique<Orvik::BACnet::WS::MarkupFactoryXML>(out, false, false);
        pMf->markup(Orvik::BACnet::WS::MarkupFactory::BT_LIST, "values",
                    Orvik::BACnet::WS::MarkupFactory::Options().open());
        record.markup(*pMf, "record", false);
        pMf->closeAllOpenMarkups();
    }
    return parse(out.str(), json).children.front().canonical();
}
