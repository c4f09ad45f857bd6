#include "ProbeApp.h"

Orvik::BACnet::App::AppManager::AppFactory ProbeApp::factory(AppJournal& journal, Behaviour behaviour)
{
    return [&journal, behaviour](Poco::Int32 idAppInstance)
    {
        journal.record("create " + std::to_string(idAppInstance));
        return new ProbeApp(idAppInstance, journal, behaviour);
    };
}

ProbeApp::ProbeApp(Poco::Int32 idAppInstance, AppJournal& journal, Behaviour behaviour)
    : AppBase(idAppInstance), _journal(journal), _behaviour(std::move(behaviour))
{
}

ProbeApp::~ProbeApp()
{
    note("delete");
}

bool ProbeApp::descRun()
{
    note("start");
    return _behaviour(*this);
}

bool ProbeApp::waitForStop()
{
    while (!handleNotification(waitDequeueNotification(_WAIT_FOREVER)))
    {
    }
    note("stopped");
    return false;
}

void ProbeApp::note(const std::string& what)
{
    _journal.record(what + " " + std::to_string(idAppInstance));
}
