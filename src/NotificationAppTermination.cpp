#include "Orvik_ZARoveDore/NotificationAppTermination.h"

namespace Orvik::BACnet::App
{

NotificationAppTermination::NotificationAppTermination(AppBase* pTerminatingApp, bool doRestart)
    : pApp(pTerminatingApp), restart(doRestart)
{
}

}  // namespace Orvik::BACnet::App
