#include "TrendLogPusherDocument.h"

#include <Poco/DOM/AutoPtr.h>
#include <Poco/DOM/DOMParser.h>
#include <Poco/DOM/Document.h>
#include <Poco/DOM/Element.h>
#include <Poco/DOM/NodeList.h>
#include <Poco/Exception.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>

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
        {
            node.children.push_back(fromXml(static_cast<const Poco::XML::Element&>(*pChild)));
        }
    }
    return node;
}

Node fromJson(const std::string& name, const Poco::JSON::Object& object)
{
    Node node{name, object.optValue<std::string>("$base", ""), "", {}};
    if (object.has("$value"))
    {
        node.value = object.get("$value").convert<std::string>();
    }
    // Members in the order the parser kept them, then the items of "$items" in array order.
    for (const auto& member : object)
    {
        if (!member.first.empty() && member.first[0] != '$' &&
            member.second.type() == typeid(Poco::JSON::Object::Ptr))
        {
            node.children.push_back(
                fromJson(member.first, *member.second.extract<Poco::JSON::Object::Ptr>()));
        }
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
    if (json)
    {
        Poco::JSON::Parser parser;
        Poco::JSON::Object::Ptr pDocument = parser.parse(text).extract<Poco::JSON::Object::Ptr>();
        if (pDocument->size() != 1)
        {
            throw Poco::DataFormatException("a document has exactly one top-level element");
        }
        const auto& top = *pDocument->begin();
        return fromJson(top.first, *top.second.extract<Poco::JSON::Object::Ptr>());
    }
    Poco::XML::DOMParser parser;
    Poco::AutoPtr<Poco::XML::Document> pDocument = parser.parseString(text);
    return fromXml(*pDocument->documentElement());
}

}  // namespace

const Node& Node::child(const std::string& childName) const
{
    for (const Node& node : children)
    {
        if (node.name == childName)
        {
            return node;
        }
    }
    throw Poco::NotFoundException("no element named " + childName + " in " + name);
}

bool Node::hasChild(const std::string& childName) const
{
    for (const Node& node : children)
    {
        if (node.name == childName)
        {
            return true;
        }
    }
    return false;
}

std::string Node::canonical() const
{
    std::string text = base + "=" + value + "{";
    for (const Node& node : children)
    {
        text += node.name + ":" + node.canonical() + ";";
    }
    return text + "}";
}

TrendLogPusherDocument::TrendLogPusherDocument(const std::string& text)
    : _json(!text.empty() && text[0] != '<'), _root(parse(text, _json))
{
}

std::vector<TrendLogPusherDocument::Page> TrendLogPusherDocument::pages() const
{
    std::vector<Page> pages;
    for (const Node& page : _root.child("tl-data").children)
    {
        Page read{page.name, "", {}};
        for (const Node& channel : page.children)
        {
            read.channelIdentifier +=
                (read.channelIdentifier.empty() ? "" : "+") + channel.child("unique-idetnifier").value;
        }
        if (!page.children.empty())
        {
            for (const Node& record : page.children.front().child("values").children)
            {
                read.records.push_back(record.canonical());
            }
        }
        pages.push_back(read);
    }
    return pages;
}

std::vector<std::string> TrendLogPusherDocument::records(const std::string& channelIdentifier) const
{
    std::vector<std::string> records;
    for (const Page& page : pages())
    {
        if (page.channelIdentifier == channelIdentifier)
        {
            records.insert(records.end(), page.records.begin(), page.records.end());
        }
    }
    return records;
}

std::string TrendLogPusherDocument::canonicalRecord(
    const Orvik::BACnet::DataType::BACnetLogRecord& record) const
{
    std::ostringstream out;
    {
        std::unique_ptr<Orvik::BACnet::WS::MarkupFactory> pMf;
        if (_json)
        {
            pMf = std::make_unique<Orvik::BACnet::WS::MarkupFactoryJSON>(out, false, false);
        }
        else
        {
            pMf = std::make_unique<Orvik::BACnet::WS::MarkupFactoryXML>(out, false, false);
        }
        pMf->markup(Orvik::BACnet::WS::MarkupFactory::BT_LIST, "values", false, false);
        record.markup(*pMf, "record", false);
        pMf->closeAllOpenMarkups();
    }
    return parse(out.str(), _json).children.front().canonical();
}
