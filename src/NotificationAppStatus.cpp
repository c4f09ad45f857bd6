#include "Orvik_ZARoveDore/NotificationAppStatus.h"

namespace Orvik::BACnet::App
{

NotificationAppStatus::NotificationAppStatus(std::vector<DataAppStatus> runningApps)
    : apps(std::move(runningApps))
{
}

}  // namespace Orvik::BACnet::App
