#ifndef ORVIK_TESTS_APPS_DEMOAPPTESTBED_H
#define ORVIK_TESTS_APPS_DEMOAPPTESTBED_H

#include <gtest/gtest.h>

#include <Poco/NotificationQueue.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Types.h>

#include <map>
#include <memory>
#include <string>

#include "DemoConsoleCapture.h"
#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_Utility/Data/TeskDbSession.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_ZARoveDore/AppManager.h"

/// Where the diagnostic apps are tested: a configuration database made from db/schema.sql (the apps'
/// own parameter definitions), a simulated site served by a real client worker with short time-outs,
/// an app manager (not running: the apps only reach its queues) and the console captured.
class DemoAppTestBed : public testing::Test
{
public:
    /// Stored parameter values by id_ap_app_property.
    using Values = std::map<Poco::Int32, std::string>;

protected:
    DemoAppTestBed();
    ~DemoAppTestBed() override;

    /// Serves a site file of sites/, or a site given as text.
    void serveSite(const std::string& fileName);
    void serveSiteText(const std::string& text);
    /// Serves another network (BACnet/IP) instead of a simulated site; site() is not available then.
    void serveNetwork(std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork);

    /// An instance of app `idApApp` with stored values by id_ap_app_property; returns its id.
    Poco::Int32 addInstance(Poco::Int32 idApApp, const Values& values = {});
    /// Removes a parameter definition (to give an app fewer parameters).
    void dropParameter(Poco::Int32 idApAppProperty);

    /// Runs the app's body on this thread, with the stop request queued first when `stopFirst`.
    template <class App>
    bool runApp(Poco::Int32 idAppInstance, bool stopFirst = false)
    {
        App app(idAppInstance);
        if (stopFirst)
        {
            app.getReadQueue()->enqueueNotification(
                new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
        }
        return app.descRun();
    }

    Orvik::BACnet::Client::Simulation::SimulatedSite& site() { return *_pSite; }
    std::string out() const { return _console.out(); }
    std::string err() const { return _console.err(); }

private:
    void serve(std::unique_ptr<Orvik::BACnet::Client::Simulation::SimulatedSite> pSite);

    Poco::TemporaryFile _databaseFile;
    std::unique_ptr<Orvik::Utility::Data::TeskDbSession> _pDatabase;
    Orvik::Utility::Data::TeskDbSession* _pPreviousDatabase;
    Poco::NotificationQueue _clientQueue;
    Poco::NotificationQueue _managerQueue;
    std::unique_ptr<Orvik::BACnet::Client::Network> _pNetwork;
    Orvik::BACnet::Client::Simulation::SimulatedSite* _pSite = nullptr;  ///< _pNetwork when it is one
    std::unique_ptr<Orvik::BACnet::Client::ClientWorker> _pClient;
    std::unique_ptr<Orvik::BACnet::App::AppManager> _pManager;
    DemoConsoleCapture _console;
};

#endif
