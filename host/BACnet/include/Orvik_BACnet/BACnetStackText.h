#pragma once

/// The protocol stack's C-style name functions, over ProtocolText's tables.

namespace Orvik::BACnet
{

/// The standard name of an object type, or "" when it has none. Never null.
const char* bactext_object_type_name(unsigned index);
/// The standard name of a property, or "" when it has none. Never null.
const char* bactext_property_name(unsigned index);
/// The number of a standard property name into *found_index; false (and *found_index unchanged) when
/// `search_name` is null or not a standard property name.
bool bactext_property_index(const char* search_name, unsigned* found_index);

}  // namespace Orvik::BACnet
