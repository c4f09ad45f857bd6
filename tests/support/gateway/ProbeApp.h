#pragma once

#include "AppJournal.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/AppManager.h"

#include <functional>
#include <string>

namespace Orvik::Test
{

/// A test app whose body the test gives.
class ProbeApp : public Orvik::BACnet::App::AppBase
{
public:
    using Body = std::function<bool(ProbeApp&)>;

    static Orvik::BACnet::App::AppManager::AppFactory factory(AppJournal& journal, Body body)
    {
        return [&journal, body](Poco::Int32 id)
        {
            journal.record("create " + std::to_string(id));
            return new ProbeApp(id, journal, body);
        };
    }
    ProbeApp(Poco::Int32 id, AppJournal& journal, Body body)
        : Orvik::BACnet::App::AppBase(id), _journal(journal), _body(std::move(body))
    {
    }
    ~ProbeApp() override { note("delete"); }
    bool descRun() override
    {
        note("start");
        return _body(*this);
    }
    /// A body that serves the app's queue until the stop.
    static bool waitForStop(ProbeApp& app)
    {
        while (!app.handleNotification(app.waitDequeueNotification(-1)))
        {
        }
        app.note("stopped");
        return false;
    }
    void note(const std::string& what) { _journal.record(what + " " + std::to_string(idAppInstance)); }

private:
    AppJournal& _journal;
    Body _body;
};

}  // namespace Orvik::Test
