#pragma once

#include <Poco/Timestamp.h>
#include <Poco/Types.h>

#include <string>

namespace Orvik::BACnet::App
{

/// One running app as the manager reports it to a supervisor (see AppManager's sanity requests).
struct DataAppStatus
{
    /// The app's thread name, "<app name>(<app instance id>)".
    std::string name;
    Poco::Int32 idAppInstance = 0;
    /// When this run of the instance started.
    Poco::Timestamp since;
    /// How often the manager has started the instance again since the manager started.
    unsigned restarts = 0;
    /// The app's own word on its state (AppBase::statusText); "" when it has none.
    std::string text;
    /// The app's read queue, only to recognise its sanity response (never to post to: the app may be
    /// gone by the time the supervisor reads this).
    const void* queue = nullptr;
};

}  // namespace Orvik::BACnet::App
