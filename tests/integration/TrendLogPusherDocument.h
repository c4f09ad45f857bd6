#pragma once

#include <string>
#include <vector>

#include "Orvik_BACnet/DataType/BACnetLogRecord.h"

/// An export document read back with a real parser (Poco's XML DOM parser or Poco's JSON parser) into
/// one language-neutral tree, for checks record by record.
///
/// Every element becomes a node with its name, its base type and its value; the members and the array
/// items of a JSON element are its children in document order, as are an XML element's child elements.
class TrendLogPusherDocument
{
public:
    struct Node
    {
        std::string name;
        std::string base;
        std::string value;
        std::vector<Node> children;

        /// The first child named `name`; throws Poco::NotFoundException when there is none.
        const Node& child(const std::string& childName) const;
        bool hasChild(const std::string& childName) const;
        /// The names of the children, in order.
        std::vector<std::string> childNames() const;
        /// The subtree without the node's own name, as one text: equal texts, equal content.
        std::string canonical() const;
    };

    /// Parses `text` as XML when it starts with '<', else as JSON. Throws the parser's exception for a
    /// document that is not well-formed, which is how an incomplete document shows.
    explicit TrendLogPusherDocument(const std::string& text);

    const Node& root() const { return _root; }
    /// All records of the channel `channelIdentifier` (the hexadecimal identifiers of a page's channels,
    /// joined by '+'), over all record pages of "tl-data", in document order, as canonical texts. Every
    /// channel of a page carries the same records: those of its first channel are taken.
    std::vector<std::string> records(const std::string& channelIdentifier) const;

    /// The canonical text of `record` as this document's language writes it.
    std::string canonicalRecord(const Orvik::BACnet::DataType::BACnetLogRecord& record) const
    {
        return canonicalRecord(record, _json);
    }
    /// The same in JSON or XML.
    static std::string canonicalRecord(const Orvik::BACnet::DataType::BACnetLogRecord& record, bool json);

private:
    bool _json;
    Node _root;
};
