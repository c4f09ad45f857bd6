#pragma once

#include <string>

#include "Orvik_BACnet/BACnetEnums.h"

namespace Orvik::BACnet
{

namespace WS
{
class MarkupFactory;
}

namespace DataType
{

/// Base of the constructed datatypes that write themselves through a markup writer.
class BACnetComplex
{
public:
    virtual ~BACnetComplex() = default;

    /// Writes the value as one complete element named `name`; `startArray` is passed to the
    /// element that opens the value.
    virtual void markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const = 0;

    /// Writes the value as an element named by the standard name of `propertyIdentifier`
    /// (ProtocolText::propertyName), through markup().
    void markupByPropertyIdentifier(WS::MarkupFactory& mf, BACNET_PROPERTY_ID propertyIdentifier,
                                    bool startArray) const;

protected:
    BACnetComplex() = default;
    BACnetComplex(const BACnetComplex&) = default;
    BACnetComplex& operator=(const BACnetComplex&) = default;
};

}  // namespace DataType
}  // namespace Orvik::BACnet
