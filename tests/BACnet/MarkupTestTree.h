//
// MarkupTestTree.h
//
// The element tree of a markup document as the markup tests compare it, and readers that build it with
// Poco's XML and JSON parsers. Python's parsers build the same tree in markup_check.py.
//

#ifndef Orvik_Tests_MarkupTestTree_INCLUDED
#define Orvik_Tests_MarkupTestTree_INCLUDED

#include <Poco/AutoPtr.h>
#include <Poco/DOM/DOMParser.h>
#include <Poco/DOM/Document.h>
#include <Poco/DOM/Element.h>
#include <Poco/DOM/NodeList.h>
#include <Poco/Exception.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/UTF8String.h>

#include <string>
#include <vector>

namespace MarkupTest
{

/// One element: base type, name, value text (with hasValue), the JSON kind of the value ('s' string,
/// 'n' number, 'b' boolean, 0 without value; XML values are all strings) and the children in order.
struct Node
{
    std::string base;
    std::string name;
    bool hasValue = false;
    std::string value;
    char kind = 0;
    std::vector<Node> children;
};

/// A readable one-line form for comparisons; strings are escaped so that differences show.
inline std::string describe(const Node& node)
{
    std::string text = node.base + "(" + Poco::UTF8::escape(node.name);
    if (node.hasValue)
    {
        text += std::string("=") + node.kind + ":" + Poco::UTF8::escape(node.value);
    }
    text += ")";
    if (!node.children.empty())
    {
        text += "[";
        for (const Node& child : node.children)
        {
            text += describe(child) + ";";
        }
        text += "]";
    }
    return text;
}

inline Node fromXml(const Poco::XML::Element& element)
{
    Node node{element.nodeName(),
              element.getAttribute("name"),
              element.hasAttribute("value"),
              element.getAttribute("value"),
              0,
              {}};
    node.kind = node.hasValue ? 's' : 0;
    for (Poco::XML::Node* child = element.firstChild(); child; child = child->nextSibling())
    {
        if (child->nodeType() == Poco::XML::Node::ELEMENT_NODE)
        {
            node.children.push_back(fromXml(static_cast<const Poco::XML::Element&>(*child)));
        }
    }
    return node;
}

/// Parses an XML document; throws when it is not well-formed.
inline Node readXml(const std::string& text)
{
    Poco::XML::DOMParser parser;
    Poco::AutoPtr<Poco::XML::Document> document = parser.parseString(text);
    return fromXml(*document->documentElement());
}

inline Node fromJson(const std::string& name, const Poco::JSON::Object& object)
{
    Node node{object.getValue<std::string>("$base"), name, object.has("$value"), "", 0, {}};
    if (node.hasValue)
    {
        const Poco::Dynamic::Var value = object.get("$value");
        node.kind = value.isString() ? 's' : value.isBoolean() ? 'b' : 'n';
        node.value = value.convert<std::string>();
    }
    for (const std::string& key : object.getNames())
    {
        if (key[0] != '$')
        {
            node.children.push_back(fromJson(key, *object.getObject(key)));
        }
    }
    if (Poco::JSON::Array::Ptr items = object.getArray("$items"))
    {
        for (std::size_t i = 0; i < items->size(); ++i)
        {
            Poco::JSON::Object::Ptr item = items->getObject(static_cast<unsigned>(i));
            node.children.push_back(fromJson(item->getValue<std::string>("$name"), *item));
        }
    }
    return node;
}

/// Parses a JSON document (member order kept); throws when it is not valid.
inline Node readJson(const std::string& text)
{
    Poco::JSON::Parser parser(new Poco::JSON::ParseHandler(true));
    Poco::JSON::Object::Ptr document = parser.parse(text).extract<Poco::JSON::Object::Ptr>();
    if (document->size() != 1)
    {
        throw Poco::DataFormatException("the document object must have exactly one member");
    }
    const std::string rootName = document->getNames().at(0);
    return fromJson(rootName, *document->getObject(rootName));
}

}  // namespace MarkupTest

#endif  // Orvik_Tests_MarkupTestTree_INCLUDED
