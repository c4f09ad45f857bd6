#include "GatewayApplication.h"

#include <Poco/AutoPtr.h>
#include <Poco/ConsoleChannel.h>
#include <Poco/Environment.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FormattingChannel.h>
#include <Poco/Logger.h>
#include <Poco/Net/NetException.h>
#include <Poco/NumberParser.h>
#include <Poco/Path.h>
#include <Poco/PatternFormatter.h>
#include <Poco/Process.h>
#include <Poco/SyslogChannel.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Util/HelpFormatter.h>
#include <Poco/Util/Option.h>
#include <Poco/Util/OptionCallback.h>
#include <Poco/Util/OptionSet.h>

#include <signal.h>

#include <algorithm>
#include <iostream>

#include "ConfigCommand.h"
#include "DataFiles.h"
#include "Gateway.h"
#include "NetworkFactory.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DocumentUpload.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/SftpUploadSession.h"
#include "StatusFile.h"

namespace Orvik::Gateway
{

namespace
{
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataSftpSettings;
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DocumentUpload;
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::SftpUploadSession;

const std::string PREFIX = "gateway.";

Poco::Int32 parseInt(const std::string& option, const std::string& text)
{
    int value = 0;
    if (!Poco::NumberParser::tryParse(text, value))
        throw Poco::InvalidArgumentException("--" + option + ": not a whole number: " + text);
    return value;
}

Poco::UInt32 parseUnsigned(const std::string& option, const std::string& text)
{
    unsigned value = 0;
    if (text.find('-') != std::string::npos || !Poco::NumberParser::tryParseUnsigned(text, value))
        throw Poco::InvalidArgumentException("--" + option + ": not an unsigned number: " + text);
    return value;
}
}  // namespace

GatewayApplication::GatewayApplication()
{
    setUnixOptions(true);
}

void GatewayApplication::defineOptions(Poco::Util::OptionSet& options)
{
    ServerApplication::defineOptions(options);
    using Poco::Util::Option;
    using Poco::Util::OptionCallback;
    const OptionCallback<GatewayApplication> store(this, &GatewayApplication::storeOption);
    options.addOption(
        Option("help", "h", "Show the options and end.")
            .callback(OptionCallback<GatewayApplication>(this, &GatewayApplication::handleHelp)));
    options.addOption(
        Option("database", "d", "The SQLite configuration database; created from the schema when new.")
            .argument("file")
            .callback(store));
    options.addOption(Option("controller", "c", "Id of this controller in the database (default 1).")
                          .argument("id")
                          .callback(store));
    options.addOption(Option("device-instance", "i",
                             "Device instance of the own BACnet server device (default: the controller's "
                             "device in the database).")
                          .argument("instance")
                          .callback(store));
    options.addOption(Option("network", "n",
                             "The BACnet network is the simulated network of this site file (with the demo "
                             "site the default without options).")
                          .argument("file")
                          .callback(store));
    options.addOption(
        Option("bacnet-ip", "",
               "The BACnet network is BACnet/IP on this local address and UDP port (default "
               "0.0.0.0:47808, every interface); an address picks the interface and its broadcast "
               "address. Give either this or --network.")
            .argument("address[:port]", false)
            .callback(store));
    options.addOption(Option("bacnet-broadcast", "",
                             "BACnet/IP: where broadcasts go (default: the interface's broadcast address).")
                          .argument("address[:port]")
                          .callback(store));
    options.addOption(
        Option("bbmd", "",
               "BACnet/IP: register as a foreign device with this BBMD (port 47808 unless given); "
               "broadcasts then go through it.")
            .argument("host[:port]")
            .callback(store));
    options.addOption(
        Option("bbmd-ttl", "",
               "BACnet/IP: time-to-live of the foreign-device registration (default 300), renewed "
               "at half of it.")
            .argument("seconds")
            .callback(store));
    options.addOption(
        Option("bacnet-device", "",
               "BACnet/IP: a device that cannot hear a Who-Is (another subnet without BBMD): "
               "instance=address[:port], or instance=router-address[:port]/network/mac for a "
               "device behind a router. Repeatable.")
            .argument("device")
            .repeatable(true)
            .callback(OptionCallback<GatewayApplication>(this, &GatewayApplication::storeRepeated)));
    options.addOption(
        Option("router-network-limit", "",
               "BACnet/IP: requests outstanding at once to all devices of one network behind a router, "
               "which share its slow link (default 2); network=requests for that network only. "
               "Repeatable.")
            .argument("[network=]requests")
            .repeatable(true)
            .callback(OptionCallback<GatewayApplication>(this, &GatewayApplication::storeRepeated)));
    options.addOption(
        Option("local-device", "",
               "BACnet/IP: the gateway's own device, described in the site file format (default: "
               "sites/local-device.json, a device object and the CPU temperature; in the demo the "
               "demo site's own device). Site tools find it at the --bacnet-ip address.")
            .argument("file")
            .callback(store));
    options.addOption(Option("demo", "D",
                             "Run the built-in demo: the demo configuration (db/demo.sql) on the demo site "
                             "(sites/demo.json). The default when no option is given.")
                          .callback(store));
    options.addOption(Option("start-pause", "",
                             "The pause of the apps that wait at their start before their first request: "
                             "AppRP_OneShot (default 3000), AppRR (2000), AppTrendLogPusher (5000).")
                          .argument("milliseconds")
                          .callback(store));
    options.addOption(
        Option("data-dir", "", "Folder with db/ and sites/ (default: the installed or source tree).")
            .argument("folder")
            .callback(store));
    options.addOption(
        Option("ftps-ca-file", "",
               "The CA certificates (PEM) that the certificates of the pushers' ftps:// servers must chain "
               "to (default: the system's trust store).")
            .argument("file")
            .callback(store));
    options.addOption(
        Option("sftp-known-hosts", "",
               "The known hosts file (OpenSSH format) that the host keys of the pushers' sftp:// servers "
               "must be in (default: ~/.ssh/known_hosts of the user the gateway runs as).")
            .argument("file")
            .callback(store));
    options.addOption(
        Option("sftp-host-fingerprint", "",
               "The one host key accepted from the pushers' sftp:// servers, in place of the known hosts: "
               "its SHA256:... fingerprint as 'ssh-keygen -l -f <key>.pub' prints it.")
            .argument("SHA256:fingerprint")
            .callback(store));
    options.addOption(Option("sftp-trust-new-hosts", "",
                             "Trust an sftp:// server whose host is not in the known hosts yet on first use, "
                             "and add its key to them (a changed key still fails).")
                          .callback(store));
    options.addOption(
        Option("sftp-key-file", "",
               "The private key (without passphrase, mode 0600) that the pushers log in to sftp:// servers "
               "with before trying their password.")
            .argument("file")
            .callback(store));
    options.addOption(Option("syslog", "s", "Log to syslog instead of the console.").callback(store));
    options.addOption(Option("status", "",
                             "Show the status of the gateway that runs with --database (default " +
                                 ConfigCommand::_DEFAULT_DATABASE +
                                 "): its apps, since when, restarts, uploads, broker connection; and end.")
                          .callback(store));
}

void GatewayApplication::handleOption(const std::string& name, const std::string& value)
{
    static const std::string PATH_OPTIONS[] = {"database",      "network",      "local-device",
                                               "data-dir",      "ftps-ca-file", "sftp-known-hosts",
                                               "sftp-key-file", "pidfile"};
    const bool isPath =
        std::find(std::begin(PATH_OPTIONS), std::end(PATH_OPTIONS), name) != std::end(PATH_OPTIONS);
    ServerApplication::handleOption(
        name, isPath && !value.empty() ? Poco::Path(value).absolute().toString() : value);
}

void GatewayApplication::handleHelp(const std::string&, const std::string&)
{
    _helpRequested = true;
    stopOptionsProcessing();
}

void GatewayApplication::storeOption(const std::string& name, const std::string& value)
{
    config().setString(PREFIX + name, value.empty() ? "true" : value);
    _anyOption = true;
}

void GatewayApplication::storeRepeated(const std::string& name, const std::string& value)
{
    _repeated[name].push_back(value);
    _anyOption = true;
}

void GatewayApplication::displayHelp() const
{
    Poco::Util::HelpFormatter help(options());
    help.setCommand(commandName());
    help.setUsage("[options]");
    help.setHeader(
        "The gateway host process: opens the configuration database, starts the BACnet client and the "
        "apps configured for the controller, and stops them on SIGINT or SIGTERM. Without options it runs "
        "the built-in demo. 'orvik-gateway config ...' configures the apps in the database (see "
        "'orvik-gateway config help').");
    help.setUnixStyle(true);
    help.format(std::cout);
}

void GatewayApplication::setUpLogging() const
{
    Poco::AutoPtr<Poco::Channel> pChannel;
    if (config().getBool(PREFIX + "syslog", false))
    {
        // A service on a board logs to the system log, named after the program.
        pChannel = new Poco::SyslogChannel(commandName(), Poco::SyslogChannel::SYSLOG_PID,
                                           Poco::SyslogChannel::SYSLOG_DAEMON);
    }
    else
    {
        Poco::AutoPtr<Poco::PatternFormatter> pFormatter(
            new Poco::PatternFormatter("%Y-%m-%d %H:%M:%S.%i %q %s: %t"));
        pFormatter->setProperty("times", "local");
        pChannel = new Poco::FormattingChannel(pFormatter, new Poco::ConsoleChannel);
    }
    // Every logger, the host's message catalogue included, writes to the one channel.
    Poco::Logger::setChannel("", pChannel);
}

DataGatewaySettings GatewayApplication::makeSettings(const DataFiles& dataFiles) const
{
    DataGatewaySettings settings;
    settings.demo = !_anyOption || config().getBool(PREFIX + "demo", false);
    settings.databasePath = config().getString(PREFIX + "database", "");
    if (config().hasProperty(PREFIX + "controller"))
        settings.controllerId = parseInt("controller", config().getString(PREFIX + "controller"));
    if (config().hasProperty(PREFIX + "device-instance"))
    {
        settings.deviceInstance =
            parseUnsigned("device-instance", config().getString(PREFIX + "device-instance"));
        if (*settings.deviceInstance > 4194302)
            throw Poco::InvalidArgumentException(
                "--device-instance: above the highest device instance 4194302");
    }
    if (config().hasProperty(PREFIX + "start-pause"))
        settings.startPauseMs = parseUnsigned("start-pause", config().getString(PREFIX + "start-pause"));
    settings.networkFile = config().getString(PREFIX + "network", "");
    settings.bacnetIP = bacnetIPSettings();
    if (settings.bacnetIP && !settings.networkFile.empty())
        throw Poco::InvalidArgumentException("Give either --network or --bacnet-ip, not both");
    if (settings.demo)
    {
        if (settings.networkFile.empty() && !settings.bacnetIP)
            settings.networkFile = dataFiles.demoSite();
        if (settings.databasePath.empty())
        {
            // A fresh demo configuration for each run, removed when the program ends.
            settings.databasePath =
                Poco::Path(Poco::Path::temp())
                    .append("orvik-gateway-demo-" + std::to_string(Poco::Process::id()) + ".db")
                    .toString();
            Poco::TemporaryFile::registerForDeletion(settings.databasePath);
            Poco::TemporaryFile::registerForDeletion(StatusFile::pathFor(settings.databasePath));
        }
    }
    settings.localDeviceFile = config().getString(PREFIX + "local-device", "");
    if (!settings.localDeviceFile.empty() && !settings.bacnetIP)
        throw Poco::InvalidArgumentException("--local-device goes with --bacnet-ip only");
    if (settings.bacnetIP && settings.localDeviceFile.empty())
        settings.localDeviceFile = settings.demo ? dataFiles.demoSite() : dataFiles.localDevice();
    if (settings.databasePath.empty())
        throw Poco::InvalidArgumentException("No configuration database: give --database=<file> (or --demo)");
    settings.statusFile = StatusFile::pathFor(settings.databasePath);
    settings.ftpsCaFile = config().getString(PREFIX + "ftps-ca-file", "");
    if (!settings.ftpsCaFile.empty() &&
        (!Poco::File(settings.ftpsCaFile).exists() || !Poco::File(settings.ftpsCaFile).canRead()))
        throw Poco::FileNotFoundException("--ftps-ca-file: cannot read " + settings.ftpsCaFile);
    settings.sftp = sftpSettings();
    if (settings.networkFile.empty() && !settings.bacnetIP)
        throw Poco::InvalidArgumentException(
            "No BACnet network: give --bacnet-ip[=<address>[:<port>]] or --network=<site file> (or --demo)");
    return settings;
}

DataSftpSettings GatewayApplication::sftpSettings() const
{
    DataSftpSettings sftp;
    sftp.knownHostsFile = config().getString(PREFIX + "sftp-known-hosts", "");
    sftp.hostKeyFingerprint = config().getString(PREFIX + "sftp-host-fingerprint", "");
    sftp.trustNewHosts = config().getBool(PREFIX + "sftp-trust-new-hosts", false);
    sftp.privateKeyFile = config().getString(PREFIX + "sftp-key-file", "");
    // A known hosts file trusted on first use may not exist yet: the first server makes it.
    if (!sftp.knownHostsFile.empty() && !sftp.trustNewHosts && !Poco::File(sftp.knownHostsFile).exists())
        throw Poco::FileNotFoundException("--sftp-known-hosts: cannot read " + sftp.knownHostsFile);
    if (!sftp.hostKeyFingerprint.empty() && !SftpUploadSession::isFingerprint(sftp.hostKeyFingerprint))
        throw Poco::InvalidArgumentException(
            "--sftp-host-fingerprint: not SHA256: and 43 base64 characters, "
            "as 'ssh-keygen -l -f <key>.pub' prints it: " +
            sftp.hostKeyFingerprint);
    if (!sftp.hostKeyFingerprint.empty() && sftp.trustNewHosts)
        throw Poco::InvalidArgumentException("Give either --sftp-host-fingerprint or --sftp-trust-new-hosts");
    if (!sftp.privateKeyFile.empty())
    {
        const std::string problem = SftpUploadSession::problemWithKeyFile(sftp.privateKeyFile);
        if (!problem.empty())
            throw Poco::InvalidArgumentException("--sftp-key-file: " + problem);
    }
    return sftp;
}

std::string GatewayApplication::hintFor(const std::string& argument) const
{
    const ArgVec& given = argv();
    for (std::size_t i = 1; i + 1 < given.size(); ++i)
    {
        const Poco::Util::Option* pOption = optionWithOptionalValue(given[i]);
        if (pOption != nullptr && given[i + 1] == argument)
            return "an option's optional value is written with '=': --" + pOption->fullName() + "=" +
                   argument;
    }
    return "see --help";
}

const Poco::Util::Option* GatewayApplication::optionWithOptionalValue(const std::string& word) const
{
    const bool isLong = word.rfind("--", 0) == 0;
    const bool isShort = !isLong && word.size() == 2 && word[0] == '-';
    const std::string name = word.substr(isLong ? 2 : 1);
    if ((!isLong && !isShort) || name.find('=') != std::string::npos || !options().hasOption(name, isShort))
        return nullptr;
    const Poco::Util::Option& option = options().getOption(name, isShort);
    return option.takesArgument() && !option.argumentRequired() ? &option : nullptr;
}

std::vector<std::string> GatewayApplication::repeatedValues(const std::string& name) const
{
    auto it = _repeated.find(name);
    return it == _repeated.end() ? std::vector<std::string>() : it->second;
}

std::optional<Orvik::BACnet::Client::IP::BACnetIPNetwork::Settings> GatewayApplication::bacnetIPSettings()
    const
{
    NetworkFactory::IPOptions options;
    options.broadcast = config().getString(PREFIX + "bacnet-broadcast", "");
    options.bbmd = config().getString(PREFIX + "bbmd", "");
    options.bbmdTimeToLive = config().getString(PREFIX + "bbmd-ttl", "");
    options.devices = repeatedValues("bacnet-device");
    options.routerNetworkLimits = repeatedValues("router-network-limit");
    if (!config().hasProperty(PREFIX + "bacnet-ip"))
    {
        if (!options.broadcast.empty() || !options.bbmd.empty() || !options.bbmdTimeToLive.empty() ||
            !options.devices.empty() || !options.routerNetworkLimits.empty())
            throw Poco::InvalidArgumentException(
                "--bacnet-broadcast, --bbmd, --bbmd-ttl, --bacnet-device and "
                "--router-network-limit go with --bacnet-ip only");
        return std::nullopt;
    }
    const std::string local = config().getString(PREFIX + "bacnet-ip");
    options.local = local == "true" ? "" : local;
    return NetworkFactory::ipSettings(options);
}

std::vector<std::string> GatewayApplication::creationScripts(const DataGatewaySettings& settings,
                                                             const DataFiles& dataFiles) const
{
    std::vector<std::string> scripts{dataFiles.schema(), dataFiles.appCatalogue()};
    if (settings.demo)
        scripts.push_back(dataFiles.demoConfiguration());
    return scripts;
}

void GatewayApplication::useHostScripts(const DataFiles& dataFiles)
{
    // The trend log export runs $ZEPTA_SCRIPTS/general/orvik_get_ip.sh for the gateway's address. A
    // board sets the variable for its own scripts; elsewhere the shipped scripts serve. Set before
    // any thread starts.
    if (!Poco::Environment::has("ZEPTA_SCRIPTS") && Poco::File(dataFiles.scripts()).exists())
    {
        Poco::Environment::set("ZEPTA_SCRIPTS", dataFiles.scripts());
    }
}

void GatewayApplication::blockTerminationSignals()
{
    // Blocked before any thread starts, so every thread inherits the mask and the signals wait for
    // waitForTerminationRequest() instead of killing the process from some app thread.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGQUIT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

int GatewayApplication::exitCodeFor(const Poco::Exception& e)
{
    if (dynamic_cast<const Poco::InvalidArgumentException*>(&e) != nullptr)
        return EXIT_USAGE;
    if (dynamic_cast<const Poco::FileException*>(&e) != nullptr)
        return EXIT_NOINPUT;
    if (dynamic_cast<const Poco::DataFormatException*>(&e) != nullptr ||
        dynamic_cast<const Poco::SyntaxException*>(&e) != nullptr)
        return EXIT_DATAERR;
    if (dynamic_cast<const Poco::NotFoundException*>(&e) != nullptr)
        return EXIT_CONFIG;
    if (dynamic_cast<const Poco::Net::NetException*>(&e) != nullptr)
        return EXIT_UNAVAILABLE;
    return EXIT_SOFTWARE;
}

int GatewayApplication::main(const std::vector<std::string>& args)
{
    if (_helpRequested)
    {
        displayHelp();
        return EXIT_OK;
    }
    blockTerminationSignals();
    setUpLogging();
    Poco::Logger& log = Poco::Logger::get("orvik-gateway");
    if (!args.empty())
    {
        log.fatal("Unexpected argument: " + args.front() + " (" + hintFor(args.front()) + ")");
        return EXIT_USAGE;
    }
    try
    {
        if (config().getBool(PREFIX + "status", false))
        {
            StatusFile(StatusFile::pathFor(
                           config().getString(PREFIX + "database", ConfigCommand::_DEFAULT_DATABASE)))
                .print(std::cout);
            return EXIT_OK;
        }
        const DataFiles dataFiles(config().getString(PREFIX + "data-dir", ""),
                                  config().getString("application.dir"));
        const DataGatewaySettings settings = makeSettings(dataFiles);
        useHostScripts(dataFiles);
        DocumentUpload::setTrustedCertificates(settings.ftpsCaFile);
        SftpUploadSession::setSettings(settings.sftp);
        Gateway gateway(settings, creationScripts(settings, dataFiles), dataFiles.appCatalogue(), log);
        gateway.start();
        waitForTerminationRequest();
        log.information("Stop requested; stopping the apps");
        return gateway.stop() ? EXIT_OK : EXIT_SOFTWARE;
    }
    catch (Poco::Exception& e)
    {
        log.fatal(e.displayText());
        return exitCodeFor(e);
    }
}

}  // namespace Orvik::Gateway
