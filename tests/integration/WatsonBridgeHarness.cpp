#include "WatsonBridgeHarness.h"

#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/AppWatsonMQTT.h"

#include <Poco/Data/Session.h>
#include <Poco/FileStream.h>
#include <Poco/StreamCopier.h>

#include "Orvik_BACnet/ProtocolText.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <iostream>
#include <thread>

using namespace Poco::Data::Keywords;

namespace Orvik::Test
{

const std::string WatsonBridgeHarness::_GATEWAY_TOPIC = "iot-2/type/gwtype/id/gw1";
const std::string WatsonBridgeHarness::_BOILER_TOPIC = "iot-2/type/0005-X/id/Boiler";

namespace
{

const char* const SITE = R"({
  "tickMs": 50,
  "devices": [
    {"instance": 1000, "name": "Gateway", "vendorIdentifier": 64701, "modelName": "GW",
     "objects": [{"type": "analog-value", "instance": 1, "name": "GwSetpoint", "presentValue": 5}]},
    {"instance": 2001, "name": "Boiler", "vendorIdentifier": 5, "modelName": "X",
     "objects": [
       {"type": "analog-input", "instance": 1, "name": "Hall", "presentValue": 20, "covIncrement": 0.01,
        "drift": {"amplitude": 5, "periodSeconds": 4}},
       {"type": "analog-value", "instance": 2, "name": "Setpoint", "presentValue": 21},
       {"type": "binary-value", "instance": 3, "name": "Pump", "presentValue": "inactive"},
       {"type": "trend-log", "instance": 4, "name": "HallLog", "logs": "analog-input:1",
        "log": {"intervalSeconds": 1, "count": 10, "live": true}}]}
  ]
})";

std::size_t occurrences(const std::string& all, const std::string& text)
{
    std::size_t count = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size()))
    {
        ++count;
    }
    return count;
}

std::string readFile(const std::string& path)
{
    Poco::FileInputStream in(path);
    std::string text;
    Poco::StreamCopier::copyToString(in, text);
    return text;
}

}  // namespace

bool eventually(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

/// A console sink that several threads may write to; lines are kept for the test.
class WatsonBridgeHarness::ConsoleBuffer : public std::stringbuf
{
public:
    std::string text() const
    {
        std::lock_guard<std::mutex> lock(_mutex);
        return _text;
    }

    bool waitFor(const std::function<bool(const std::string&)>& done, int timeoutMs) const
    {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(_text); });
    }

protected:
    int overflow(int c) override
    {
        if (c != EOF)
        {
            append(std::string(1, static_cast<char>(c)));
        }
        return c;
    }

    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        append(std::string(s, static_cast<std::size_t>(n)));
        return n;
    }

private:
    void append(const std::string& part)
    {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _text += part;
        }
        _changed.notify_all();
    }

    mutable std::mutex _mutex;
    mutable std::condition_variable _changed;
    std::string _text;
};

std::string WatsonBridgeHarness::siteText()
{
    return SITE;
}

WatsonBridgeHarness::WatsonBridgeHarness(Poco::UInt16 brokerPort, bool secure, const std::string& moreDevices,
                                         std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork)
    : _pSession(new Orvik::Utility::Data::TeskDbSession(_dbFile.path())),
      _pPreviousDB(Orvik::Utility::Data::pDB),
      _pConsole(std::make_unique<ConsoleBuffer>()),
      _pPreviousCout(std::cout.rdbuf(_pConsole.get()))
{
    _pSession->executeScript(readFile(std::string(ORVIK_SOURCE_DIR) + "/db/schema.sql"));
    Orvik::Utility::Data::pDB = _pSession.get();
    Poco::Data::Session& db = *_pSession;
    db << "INSERT INTO bn_device (id_bn_device, id_dv_controller, name) VALUES (1, 1, 'Gateway')", now;
    db << "INSERT INTO bn_device_object (id_bn_device, id_bn_object_type, instance_nr, name) VALUES (1, 8, "
          "1000, "
          "'Gateway')",
        now;
    db << "INSERT INTO ap_app_instance (id_ap_app, id_dv_controller, instance_nr, name, start_at_startup) "
          "VALUES (502, 1, 1, 'bridge', 1)",
        now;
    db << "SELECT last_insert_rowid()", into(_instance), now;
    const std::map<int, std::string> defaults = {
        {1, "myorg"},
        {2, "127.0.0.1:" + std::to_string(brokerPort)},
        {3, "gwtype"},
        {4, "gw1"},
        {6, "token-1"},
        {7, secure ? "true" : "false"},
        {10,
         "[device:1000/analog-value:1, device:2001/analog-input:1, device:2001/analog-value:2, "
         "device:2001/binary-value:3]"},
        {11, "[device:1000/analog-value:1, device:2001/analog-value:2, device:2001/binary-value:3]"}};
    for (const auto& [position, text] : defaults)
    {
        setParameter(position, text);
    }
    if (pNetwork)
    {
        _pNetwork = std::move(pNetwork);
    }
    else
    {
        std::string site = SITE;
        if (!moreDevices.empty())
        {
            site.insert(site.rfind(']'), "," + moreDevices);
        }
        auto pSite = Orvik::BACnet::Client::Simulation::SimulatedSite::parse(site, "watson-test-site");
        Orvik::BACnet::Client::TransactionTable::Settings transactions;
        transactions.apduTimeoutMs = 1000;
        transactions.apduRetries = 1;
        pSite->setTransactionSettings(transactions);
        _pSite = pSite.get();
        _pNetwork = std::move(pSite);
    }
    Orvik::BACnet::Client::ClientWorker::Settings settings;
    settings.whoIsWindowMs = 500;
    _pClient = std::make_unique<Orvik::BACnet::Client::ClientWorker>(nullptr, *_pNetwork, settings);
    _pClient->start();
}

WatsonBridgeHarness::~WatsonBridgeHarness()
{
    stop();
    _pClient->stop();
    std::cout.rdbuf(_pPreviousCout);
    Orvik::Utility::Data::pDB = _pPreviousDB;
}

void WatsonBridgeHarness::setParameter(int position, const std::string& text)
{
    Poco::Data::Session& db = *_pSession;
    const Poco::Int32 property = 50200 + position;
    db << "DELETE FROM ap_app_property_instance WHERE id_ap_app_instance=? AND id_ap_app_property=?",
        use(_instance), bind(property), now;
    if (text.empty())
    {
        db << "INSERT INTO ap_app_property_instance (id_ap_app_instance, id_ap_app_property, value) "
              "VALUES (?, ?, NULL)",
            use(_instance), bind(property), now;
        return;
    }
    db << "INSERT INTO ap_app_property_instance (id_ap_app_instance, id_ap_app_property, value) VALUES (?, "
          "?, ?)",
        use(_instance), bind(property), bind(text), now;
}

void WatsonBridgeHarness::start()
{
    // The bridge with short waits: tests see reconnection and the end of a stop within a second.
    using Orvik::BACnet::App::VendorOrvik::WatsonMQTT::AppWatsonMQTT;
    Orvik::BACnet::App::VendorOrvik::WatsonMQTT::DataBridgeTimings timings;
    timings.reconnectWaitMs = 300;
    timings.quietDrainMs = 200;
    timings.drainLimitMs = 1000;
    Orvik::BACnet::App::AppManager::AppTypeTable appTypes = Orvik::BACnet::App::AppManager::appTypes();
    appTypes[502] = [timings](Poco::Int32 idAppInstance)
    { return new AppWatsonMQTT(idAppInstance, timings); };
    _pManager = std::make_unique<Orvik::BACnet::App::AppManager>(1, _GATEWAY, &_managerQueue,
                                                                 _pClient->getReadQueue(), appTypes);
    _managerThread.start(*_pManager);
}

bool WatsonBridgeHarness::stop()
{
    if (!_pManager)
    {
        return true;
    }
    _managerQueue.enqueueUrgentNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
    if (!_managerThread.tryJoin(30000))
    {
        return false;
    }
    _pManager.reset();
    return true;
}

std::string WatsonBridgeHarness::console() const
{
    return _pConsole->text();
}

std::size_t WatsonBridgeHarness::countConsole(const std::string& text) const
{
    return occurrences(console(), text);
}

bool WatsonBridgeHarness::waitForConsole(const std::string& text, std::size_t count, int timeoutMs) const
{
    return _pConsole->waitFor([&](const std::string& all) { return occurrences(all, text) >= count; },
                              timeoutMs);
}

std::string WatsonBridgeHarness::presentValue(Poco::UInt32 device, const std::string& object) const
{
    const auto separator = object.find(':');
    Orvik::BACnet::ValueContainer value;
    std::uint32_t type = 0;
    Orvik::BACnet::ProtocolText::objectTypeIndex(object.substr(0, separator), type);
    const Orvik::BACnet::DataType::ObjectIdentifier identifier(type,
                                                               std::stoul(object.substr(separator + 1)));
    _pSite->readProperty(
        Orvik::BACnet::Client::DataPropertyKey(Orvik::BACnet::Client::DataObjectKey(device, identifier),
                                               Orvik::BACnet::PROP_PRESENT_VALUE),
        value);
    return value.getText();
}

}  // namespace Orvik::Test
