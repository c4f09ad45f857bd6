#pragma once

#include <Poco/Notification.h>

#include <vector>

#include "Orvik_ZARoveDore/DataAppStatus.h"

namespace Orvik::BACnet::App
{

/// The manager's list of its running apps, posted with its answer to a sanity request (to the
/// request's reply queue), so that the supervisor knows which apps are to answer and what to report.
class NotificationAppStatus : public Poco::Notification
{
public:
    using Ptr = Poco::AutoPtr<NotificationAppStatus>;

    explicit NotificationAppStatus(std::vector<DataAppStatus> runningApps);

    const std::vector<DataAppStatus> apps;
};

}  // namespace Orvik::BACnet::App
