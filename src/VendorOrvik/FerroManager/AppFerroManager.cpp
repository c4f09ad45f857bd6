#include "Orvik_ZARoveDore/VendorOrvik/FerroManager/AppFerroManager.h"

#include <Poco/Exception.h>

#include <vector>

#include "Orvik_Utility/Peripherals/NotificationBrindle.h"
#include "Orvik_ZARoveDore/NotificationAppRequest.h"

namespace Orvik::BACnet::App::VendorOrvik::FerroManager
{

namespace
{
const std::size_t MIN_PARAMETER_COUNT = 4;
}

AppFerroManager::AppFerroManager(Poco::Int32 idAppInstance) : AppBase(idAppInstance) {}

AppFerroManager::~AppFerroManager() = default;

bool AppFerroManager::descRun()
{
    std::vector<ValueContainer> parameters;
    if (getProperties(parameters).size() < MIN_PARAMETER_COUNT)
    {
        throw Poco::InvalidArgumentException("To few App parameters");
    }
    for (;;)
    {
        Poco::AutoPtr<Poco::Notification> pNf = waitDequeueNotification(_WAIT_FOREVER);
        if (!pNf || dynamic_cast<Orvik::Peripherals::NotificationBrindle*>(pNf.get()) != nullptr ||
            dynamic_cast<NotificationAppRequest*>(pNf.get()) != nullptr)
        {
            continue;  // peripheral notifications and app requests have no effect yet
        }
        if (handleNotification(pNf))
        {
            return false;
        }
    }
}

const std::string& AppFerroManager::appName() const
{
    static const std::string name = "AppFerroManager ";
    return name;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::FerroManager
