#include "Orvik_Utility/Peripherals/NotificationBrindle.h"

namespace Orvik::Peripherals
{

NotificationBrindle::NotificationBrindle(const std::string& aPeripheral, const Poco::Dynamic::Var& aValue,
                                         const Poco::Timestamp& aObserved)
    : peripheral(aPeripheral), value(aValue), observed(aObserved)
{
}

NotificationBrindle::~NotificationBrindle() = default;

std::string NotificationBrindle::name() const
{
    return "NotificationBrindle(" + peripheral + ")";
}

}  // namespace Orvik::Peripherals
