#pragma once

#include <Poco/AutoPtr.h>
#include <Poco/Dynamic/Var.h>
#include <Poco/Notification.h>
#include <Poco/Timestamp.h>

#include <string>

namespace Orvik::Peripherals
{

/// What the host's peripheral layer posts when a peripheral of the controller
/// board reports something: which peripheral (for example "gpio17" or "display"),
/// its value, and when it was observed. Receivers that do not know the
/// peripheral release the notification unread.
class NotificationBrindle : public Poco::Notification
{
public:
    using Ptr = Poco::AutoPtr<NotificationBrindle>;

    NotificationBrindle(const std::string& aPeripheral, const Poco::Dynamic::Var& aValue,
                        const Poco::Timestamp& aObserved = Poco::Timestamp());

    /// "NotificationBrindle(<peripheral>)".
    std::string name() const override;

    const std::string peripheral;
    const Poco::Dynamic::Var value;
    const Poco::Timestamp observed;

protected:
    ~NotificationBrindle() override;
};

}  // namespace Orvik::Peripherals
