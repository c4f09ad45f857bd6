#pragma once

#include <Poco/Util/Option.h>
#include <Poco/Util/ServerApplication.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "DataGatewaySettings.h"

namespace Orvik::Gateway
{

/// The gateway host process, `orvik-gateway`.
///
/// Options: the configuration database, the controller id, the own BACnet device instance, the
/// BACnet network (a site file of the simulated network, or BACnet/IP with its broadcast address,
/// foreign-device registration, devices bound by option and the description of the gateway's own
/// device, which it serves there), the CA file of the pushers' FTPS servers, how their SFTP servers'
/// host keys are checked and the key they log in with, the demo, the data
/// folder, syslog, help;
/// and, from Poco's server application, --daemon, --pidfile and --umask. Exactly one network is used:
/// giving both --network and --bacnet-ip is refused. Relative file and folder names are taken
/// relative to the folder the program was started in, also for a daemon.
///
/// Without any option, or with --demo, it runs the built-in demo: the demo configuration (created
/// from db/demo.sql in a temporary database unless --database names one) on the demo site, or on
/// BACnet/IP when --bacnet-ip is given.
///
/// It runs until SIGINT or SIGTERM, which become the app manager's stop request; it then waits for
/// the apps to stop (within the manager's grace period) and exits 0. Bad options, a database that
/// cannot be opened or is not a configuration database, an unknown controller or a malformed site
/// file end it at start with one clear message and a non-zero exit code. An option's optional value
/// is joined with '=' (--bacnet-ip=127.0.0.1:47830): given after a blank, it is refused as an
/// argument, with that form in the message.
class GatewayApplication : public Poco::Util::ServerApplication
{
public:
    GatewayApplication();

protected:
    void defineOptions(Poco::Util::OptionSet& options) override;
    /// Makes the file and folder options absolute against the working folder the program started
    /// in: a daemon changes to / before main() runs, and the pid file is removed at the end.
    void handleOption(const std::string& name, const std::string& value) override;
    int main(const std::vector<std::string>& args) override;

private:
    void handleHelp(const std::string& name, const std::string& value);
    void storeOption(const std::string& name, const std::string& value);
    /// A repeatable option: each value kept in the order given.
    void storeRepeated(const std::string& name, const std::string& value);
    void displayHelp() const;
    /// What to do about `argument`, which no option took: when it follows an option whose value is
    /// optional and so must be joined with '=' ("--bacnet-ip 127.0.0.1"), how to write it; else see --help.
    std::string hintFor(const std::string& argument) const;
    /// The option that `word` gives without a value ("--bacnet-ip", "-x") if its value is optional, else
    /// null.
    const Poco::Util::Option* optionWithOptionalValue(const std::string& word) const;
    void setUpLogging() const;
    DataGatewaySettings makeSettings(const class DataFiles& dataFiles) const;
    std::vector<std::string> repeatedValues(const std::string& name) const;
    std::optional<Orvik::BACnet::Client::IP::BACnetIPNetwork::Settings> bacnetIPSettings() const;
    /// The --sftp-* options, checked: a missing known hosts file (unless trusted on first use), a
    /// malformed fingerprint, one given with --sftp-trust-new-hosts, or a key file that others may
    /// read are refused.
    Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataSftpSettings sftpSettings() const;
    std::vector<std::string> creationScripts(const DataGatewaySettings& settings,
                                             const class DataFiles& dataFiles) const;
    static void useHostScripts(const class DataFiles& dataFiles);
    static void blockTerminationSignals();
    static int exitCodeFor(const Poco::Exception& e);

    bool _helpRequested = false;
    bool _anyOption = false;
    /// The values of the repeatable options, by option name.
    std::map<std::string, std::vector<std::string>> _repeated;
};

}  // namespace Orvik::Gateway
