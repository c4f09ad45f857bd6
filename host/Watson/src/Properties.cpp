#include "Orvik_Watson/Properties.h"

namespace Watson_IOTP
{

const std::string Properties::DEFAULT_DOMAIN = "internetofthings.ibmcloud.com";

Properties::Properties() : _domain(DEFAULT_DOMAIN) {}

}  // namespace Watson_IOTP
