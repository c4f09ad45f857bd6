//
// MarkupFactoryXML.h
//
// Library: Orvik_BACnet
// Package: WS
// Module:  MarkupFactoryXML
//
// Definition of the MarkupFactoryXML class, the XML spelling of the BACnet/WS markup writer.
//

#ifndef Orvik_BACnet_WS_MarkupFactoryXML_INCLUDED
#define Orvik_BACnet_WS_MarkupFactoryXML_INCLUDED

#include "Orvik_BACnet/WS/MarkupFactory.h"

namespace Orvik::BACnet::WS
{

/// MarkupFactoryXML writes the markup tree as XML 1.0 in UTF-8. Every element is named by its base type
/// (MarkupFactory::baseTypeName) and carries its name and value as the attributes "name" and "value",
/// followed by the metadata attributes that are set. An element left open (Options::open) holds its
/// children; a complete element without children is an empty-element tag. startArray changes nothing,
/// since XML keeps the order of repeated elements anyway.
///
/// Example, with format true (format false writes the same without line breaks and indentation):
///
///     <?xml version="1.0" encoding="UTF-8"?>
///     <Sequence name="bacnet-2-cloud-trend-log">
///       <String name="app-version" value="150928A"/>
///       <Unsigned name="parent-identifier" value="17"/>
///       <List name="devices">
///         <Sequence name="1234">
///           <Enumerated name="system-status" value="operational"/>
///         </Sequence>
///       </List>
///     </Sequence>
///
/// Attribute values escape '&', '<', '>' and '"' as entities, and tab, line feed and carriage return as
/// character references so that they survive attribute-value normalisation.
class MarkupFactoryXML : public MarkupFactory
{
public:
    MarkupFactoryXML(std::ostream& stream, bool format, bool textExtendEnumsAndBitStrings,
                     HandOver handOver = HAND_OVER_EACH_CALL);
    ~MarkupFactoryXML() override;

    MarkupLanguage language() const override { return XML; }

protected:
    void writeHeader() override;
    void writeElement(const Element& element, Placement placement, const Frame* parent,
                      bool closeMarkup) override;
    void writeClose(const Frame& frame) override;
    void writeDocumentEnd() override;

private:
    void writeAttribute(const char* opening, const std::string& value);
    /// Writes the opening (' name="'), the escaped value and the closing quote.
    void writeEscaped(const std::string& text);
};

}  // namespace Orvik::BACnet::WS

#endif  // Orvik_BACnet_WS_MarkupFactoryXML_INCLUDED
