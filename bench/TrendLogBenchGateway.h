#pragma once

#include <Poco/Data/Statement.h>
#include <Poco/FileStream.h>
#include <Poco/StreamCopier.h>
#include <Poco/TemporaryFile.h>

#include <memory>
#include <string>

#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_Utility/Data/TeskDbSession.h"
#include "Orvik_ZARoveDore/AppManager.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/AppTrendLogPusher.h"

// The gateway of the trend log export benchmarks: its database, the client worker on a network and the
// pusher, configured to export the trend log of its own device.

/// The repository's top folder: as the test fixtures know it, else from this file's own path (which a
/// compiler cache may have made relative to the build folder).
inline std::string trendLogBenchSourceDir()
{
#ifdef ORVIK_SOURCE_DIR
    return ORVIK_SOURCE_DIR;
#else
    const std::string file = __FILE__;
    return file.substr(0, file.rfind("/bench/"));
#endif
}

/// Device 1001 with one trend log of `records` REAL records, a minute apart, from 2020-01-01.
inline std::string trendLogBenchSite(Poco::UInt64 records)
{
    const std::string count = std::to_string(records);
    return R"({"devices": [{"instance": 1001, "name": "Gateway", "vendorIdentifier": 64701, "vendorName": "Orvik",
      "modelName": "GW", "objects": [{"type": "analog-value", "instance": 1, "name": "T1", "presentValue": 20.0},
      {"type": "trend-log", "instance": 1, "name": "T1 Log", "logs": "analog-value:1", "log": {"start":
      "2020-01-01T00:00:00Z", "intervalSeconds": 60, "count": )" +
           count + R"(, "bufferSize": )" + count + "}}]}]}";
}

/// Device `instance` with `trendLogs` trend logs of `records` REAL records, a minute apart, from
/// 2020-01-01; `members`: further members of the device, each followed by a comma.
inline std::string benchDevice(Poco::UInt32 instance, int trendLogs, Poco::UInt64 records,
                               const std::string& members = "")
{
    std::string device = R"({"instance": )" + std::to_string(instance) + ", " + members + R"("objects": [)";
    for (int log = 1; log <= trendLogs; ++log)
    {
        const std::string object = std::to_string(log);
        device += std::string(log > 1 ? ", " : "") + R"({"type": "analog-value", "instance": )" + object +
                  R"(, "presentValue": 20.0}, {"type": "trend-log", "instance": )" + object +
                  R"(, "logs": "analog-value:)" + object +
                  R"(", "log": {"start": "2020-01-01T00:00:00Z", "intervalSeconds": 60, "count": )" +
                  std::to_string(records) + R"(, "bufferSize": )" + std::to_string(records) + "}}";
    }
    return device + "]}";
}

/// The gateway's device 1001 without trend logs, as the first device of a bench site.
inline std::string benchGatewayDevice()
{
    return R"({"instance": 1001, "name": "Gateway", "vendorIdentifier": 64701, "vendorName": "Orvik",
      "modelName": "GW"})";
}

/// The gateway's device 1001 without trend logs and `devices` devices (2001, 2002, ...), each with
/// `trendLogs` trend logs of `records` REAL records, a minute apart, from 2020-01-01; every answer of
/// those devices `delayMs` late.
inline std::string manyDeviceBenchSite(int devices, int trendLogs, Poco::UInt64 records, int delayMs = 0)
{
    std::string site = R"({"devices": [)" + benchGatewayDevice();
    for (int device = 1; device <= devices; ++device)
    {
        site += ", " + benchDevice(static_cast<Poco::UInt32>(2000 + device), trendLogs, records,
                                   R"("faults": {"delayMs": )" + std::to_string(delayMs) + "}, ");
    }
    return site + "]}";
}

/// A gateway with the pusher configured to export the trend logs of its own device (trendLogsFrom 1) or
/// of every device on the network (2), searching them within `discovery`.
class TrendLogBenchGateway
{
public:
    static constexpr Poco::UInt32 _GATEWAY = 1001;
    static constexpr Poco::Int32 _INSTANCE = 1;

    /// `pNetwork`: where the trend logs are read from; null: a simulated site of trendLogBenchSite(records).
    TrendLogBenchGateway(
        Poco::UInt64 records, int language, Poco::UInt16 ftpPort,
        std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork = nullptr, int trendLogsFrom = 1,
        const Orvik::BACnet::App::VendorOrvik::TrendLogPusher::TrendLogDiscovery::Limits& discovery = {})
        : _session(_file.path()),
          _pNetwork(pNetwork ? std::move(pNetwork)
                             : Orvik::BACnet::Client::Simulation::SimulatedSite::parse(
                                   trendLogBenchSite(records), "bench"))
    {
        for (const char* script : {"/db/schema.sql", "/db/apps.sql"})
        {
            std::string sql;
            Poco::FileInputStream in(trendLogBenchSourceDir() + script);
            Poco::StreamCopier::copyToString(in, sql);
            _session.executeScript(sql);
        }
        _session << "INSERT INTO ap_app_instance (id_ap_app_instance,id_ap_app,instance_nr) VALUES(1,500,1)",
            Poco::Data::Keywords::now;
        const std::string values[][2] = {{"50004", "BENCH"},
                                         {"50006", std::to_string(language)},
                                         {"50007", "0b00"},
                                         {"50013", "ftp://127.0.0.1:" + std::to_string(ftpPort)},
                                         {"50017", std::to_string(trendLogsFrom)},
                                         {"50018", "0"}};
        for (const auto& value : values)
        {
            std::string property = value[0];
            std::string text = value[1];
            _session << "INSERT INTO ap_app_property_instance (id_ap_app_instance,id_ap_app_property,value) "
                        "VALUES(1,?,?)",
                Poco::Data::Keywords::use(property), Poco::Data::Keywords::use(text),
                Poco::Data::Keywords::now;
        }
        Orvik::Utility::Data::pDB = &_session;
        _pWorker = std::make_unique<Orvik::BACnet::Client::ClientWorker>(&_clientQueue, *_pNetwork);
        _pWorker->start();
        _pManager =
            std::make_unique<Orvik::BACnet::App::AppManager>(1, _GATEWAY, &_managerQueue, &_clientQueue);
        _pPusher =
            std::make_unique<Orvik::BACnet::App::VendorOrvik::TrendLogPusher::AppTrendLogPusher>(_INSTANCE);
        _pPusher->setDiscoveryLimits(discovery);
        const Poco::Timestamp searchStart;
        _pPusher->initialise();
        _searchSeconds = static_cast<double>(searchStart.elapsed()) / 1e6;
    }
    ~TrendLogBenchGateway()
    {
        _pPusher.reset();
        _pWorker->stop();
        Orvik::Utility::Data::pDB = nullptr;
    }
    Orvik::BACnet::App::VendorOrvik::TrendLogPusher::AppTrendLogPusher& pusher() { return *_pPusher; }
    /// Seconds the pusher's start took: its search for devices and trend logs.
    double searchSeconds() const { return _searchSeconds; }

private:
    Poco::TemporaryFile _file;
    Orvik::Utility::Data::TeskDbSession _session;
    std::unique_ptr<Orvik::BACnet::Client::Network> _pNetwork;
    Poco::NotificationQueue _clientQueue;
    Poco::NotificationQueue _managerQueue;
    std::unique_ptr<Orvik::BACnet::Client::ClientWorker> _pWorker;
    std::unique_ptr<Orvik::BACnet::App::AppManager> _pManager;
    std::unique_ptr<Orvik::BACnet::App::VendorOrvik::TrendLogPusher::AppTrendLogPusher> _pPusher;
    double _searchSeconds = 0;
};
