#include "Orvik_ZARoveDore/DataPropertyValue.h"

namespace Orvik::BACnet::App
{

DataPropertyValue::DataPropertyValue() : idEngUnit(_NO_UNITS), idInstance(0) {}

}  // namespace Orvik::BACnet::App
