#include "Orvik_ZARoveDore/NotificationAppRequest.h"

namespace Orvik::BACnet::App
{

NotificationAppRequest::NotificationAppRequest() = default;

NotificationAppRequest::~NotificationAppRequest() = default;

}  // namespace Orvik::BACnet::App
