#ifndef ORVIK_TESTS_APPS_PROBEAPP_H
#define ORVIK_TESTS_APPS_PROBEAPP_H

#include <functional>
#include <string>

#include "AppJournal.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/AppManager.h"

/// A test app whose body is given by the test. It writes "create <id>" when the manager creates it,
/// "start <id>" when its body begins and "delete <id>" when it is destroyed.
class ProbeApp : public Orvik::BACnet::App::AppBase
{
public:
    using Behaviour = std::function<bool(ProbeApp&)>;

    /// A manager factory for probe apps with this behaviour.
    static Orvik::BACnet::App::AppManager::AppFactory factory(AppJournal& journal, Behaviour behaviour);

    ProbeApp(Poco::Int32 idAppInstance, AppJournal& journal, Behaviour behaviour);
    ~ProbeApp() override;

    bool descRun() override;

    /// Serves the app's queue until the stop request; writes "stopped <id>". Returns false.
    bool waitForStop();
    /// Writes "<what> <id>".
    void note(const std::string& what);

private:
    AppJournal& _journal;
    Behaviour _behaviour;
};

#endif
