#pragma once

#include <Poco/Notification.h>

namespace Orvik::BACnet::App
{

class AppBase;

/// An app's report to the manager that its run has ended.
///
/// Posting it is the last thing an app's run does, so the manager that receives it may
/// delete the app at once. The notification does not own the app.
class NotificationAppTermination : public Poco::Notification
{
public:
    using Ptr = Poco::AutoPtr<NotificationAppTermination>;

    NotificationAppTermination(AppBase* pTerminatingApp, bool doRestart);

    /// The app that ended.
    AppBase* pApp;
    /// True: start this app instance again from its database row.
    const bool restart;
};

}  // namespace Orvik::BACnet::App
