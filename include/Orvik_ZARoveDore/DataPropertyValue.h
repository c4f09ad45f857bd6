#pragma once

#include <Poco/Types.h>

#include "Orvik_BACnet/ValueContainer.h"

namespace Orvik::BACnet::App
{

/// One parameter of an app instance: its typed value, its engineering unit and its number within
/// the app (ap_app_property.id). Copying copies all three.
class DataPropertyValue : public ValueContainer
{
public:
    /// BACnet engineering unit "no units".
    static constexpr Poco::UInt32 _NO_UNITS = 95;

    DataPropertyValue();

    /// BACnet engineering unit of the parameter (id_bn_eng_unit).
    Poco::UInt32 idEngUnit;
    /// The parameter's number within its app (ap_app_property.id).
    Poco::Int32 idInstance;
};

}  // namespace Orvik::BACnet::App
