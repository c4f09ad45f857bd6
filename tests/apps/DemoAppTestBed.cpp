#include "DemoAppTestBed.h"

#include <Poco/Data/Statement.h>
#include <Poco/FileStream.h>
#include <Poco/StreamCopier.h>

using namespace Poco::Data::Keywords;

namespace
{

const Poco::Int32 CONTROLLER = 1;
const Poco::UInt32 OWN_DEVICE = 1001;

std::string schemaText()
{
    Poco::FileInputStream schema(ORVIK_SOURCE_DIR "/db/schema.sql");
    std::string text;
    Poco::StreamCopier::copyToString(schema, text);
    return text;
}

Orvik::BACnet::Client::ClientWorker::Settings shortSettings()
{
    Orvik::BACnet::Client::ClientWorker::Settings settings;
    settings.whoIsWindowMs = 400;
    return settings;
}

Orvik::BACnet::Client::TransactionTable::Settings shortTransactions()
{
    Orvik::BACnet::Client::TransactionTable::Settings settings;
    settings.apduTimeoutMs = 200;
    settings.apduRetries = 1;
    return settings;
}

}  // namespace

DemoAppTestBed::DemoAppTestBed()
    : _pDatabase(new Orvik::Utility::Data::TeskDbSession(_databaseFile.path())),
      _pPreviousDatabase(Orvik::Utility::Data::pDB)
{
    _pDatabase->executeScript(schemaText());
    Orvik::Utility::Data::pDB = _pDatabase.get();
    _pManager = std::make_unique<Orvik::BACnet::App::AppManager>(CONTROLLER, OWN_DEVICE, &_managerQueue,
                                                                 &_clientQueue);
}

DemoAppTestBed::~DemoAppTestBed()
{
    _pManager.reset();
    if (_pClient)
    {
        _pClient->stop();
    }
    Orvik::Utility::Data::pDB = _pPreviousDatabase;
}

void DemoAppTestBed::serveSite(const std::string& fileName)
{
    serve(Orvik::BACnet::Client::Simulation::SimulatedSite::load(ORVIK_SOURCE_DIR "/sites/" + fileName));
}

void DemoAppTestBed::serveSiteText(const std::string& text)
{
    serve(Orvik::BACnet::Client::Simulation::SimulatedSite::parse(text, "test site"));
}

void DemoAppTestBed::serve(std::unique_ptr<Orvik::BACnet::Client::Simulation::SimulatedSite> pSite)
{
    pSite->setTransactionSettings(shortTransactions());
    Orvik::BACnet::Client::Simulation::SimulatedSite* pServed = pSite.get();
    serveNetwork(std::move(pSite));
    _pSite = pServed;
}

void DemoAppTestBed::serveNetwork(std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork)
{
    if (_pClient)
    {
        _pClient->stop();
    }
    _pSite = nullptr;
    _pNetwork = std::move(pNetwork);
    _pClient =
        std::make_unique<Orvik::BACnet::Client::ClientWorker>(&_clientQueue, *_pNetwork, shortSettings());
    _pClient->start();
}

Poco::Int32 DemoAppTestBed::addInstance(Poco::Int32 idApApp, const Values& values)
{
    Poco::Int32 app = idApApp;
    *_pDatabase << "INSERT INTO ap_app_instance (id_ap_app,id_dv_controller,instance_nr,name) "
                   "VALUES(?,1,(SELECT COUNT(*)+1 FROM ap_app_instance WHERE id_ap_app=?),'test')",
        use(app), use(app), now;
    Poco::Int32 instance = 0;
    *_pDatabase << "SELECT last_insert_rowid()", into(instance), now;
    for (const auto& [property, text] : values)
    {
        Poco::Int32 idProperty = property;
        std::string value = text;
        *_pDatabase << "INSERT INTO ap_app_property_instance (id_ap_app_instance,id_ap_app_property,value) "
                       "VALUES(?,?,?)",
            use(instance), use(idProperty), use(value), now;
    }
    return instance;
}

void DemoAppTestBed::dropParameter(Poco::Int32 idApAppProperty)
{
    *_pDatabase << "DELETE FROM ap_app_property WHERE id_ap_app_property=?", use(idApAppProperty), now;
}
