#pragma once

#include <Poco/Types.h>

#include <iosfwd>
#include <string>
#include <vector>

namespace Poco
{
class Exception;
}

namespace Orvik::Gateway
{

class ConfigurationEditor;

/// `orvik-gateway config ...`: the integrator's way to configure the apps of a controller in the
/// configuration database, without SQL and without parameter numbers.
///
///   orvik-gateway config [--database=FILE] [--controller=ID] [--data-dir=FOLDER] COMMAND ...
///   (these options may also follow the command or its operands; "--name VALUE" of add stays add's)
///     apps                                   the apps and their parameters
///     show [INSTANCE] [--show-secrets]       the instances with every value, stored or default;
///                                            secret values masked unless --show-secrets
///     add APP --name NAME (or --name=NAME) [--disabled] [PARAMETER=VALUE ...]
///     set INSTANCE PARAMETER=VALUE ...
///     remove INSTANCE | enable INSTANCE | disable INSTANCE
///     export FILE [--with-secrets] | import FILE
///                                            the controller's configuration as JSON ("-": standard
///                                            output or input); secret values exported only with
///                                            --with-secrets, kept by an import that leaves them out
///     trend-logs [--local-device=FILE]       the own device's recorded trend logs, as its description
///                                            file configures them (read and checked as the gateway does)
///
/// The database is the gateway's (default /var/lib/orvik/config.db), created from the schema when it
/// does not exist; it may be in use by the running gateway (SQLite waits for its locks). Every
/// value is checked before anything is written and each command writes in one transaction (see
/// ConfigurationEditor). Results go to `out`; a refusal is one line on `err` and a non-zero exit
/// code (the sysexits codes the gateway uses), with the database unchanged. Secret values (see
/// AppCatalogue) never reach the output unless the command's flag asks for them; a flag given to another
/// command is refused.
class ConfigCommand
{
public:
    /// The database a packaged gateway runs with.
    static const std::string _DEFAULT_DATABASE;

    /// `args`: what follows "config" on the command line. `programFolder`: the folder of the
    /// program, to find the schema (see DataFiles).
    ConfigCommand(const std::vector<std::string>& args, const std::string& programFolder);

    int run(std::ostream& out, std::ostream& err);

private:
    void parseOptions();
    /// One of the options of every command at `it`, which moves past its value.
    void parseOption(std::vector<std::string>::const_iterator& it);
    void execute(std::ostream& out);
    void help(std::ostream& out) const;
    void listApps(const ConfigurationEditor& editor, std::ostream& out) const;
    void show(const ConfigurationEditor& editor, std::ostream& out) const;
    void add(ConfigurationEditor& editor, std::ostream& out) const;
    void exportTo(const ConfigurationEditor& editor, std::ostream& out) const;
    void importFrom(ConfigurationEditor& editor, std::ostream& out) const;
    void showTrendLogs(const std::string& localDevice, Poco::UInt32 ownDevice, std::ostream& out) const;

    /// The operands after the command; throws Poco::InvalidArgumentException when there are not
    /// `count` (or, with `orMore`, fewer).
    const std::vector<std::string>& operands(std::size_t count, bool orMore = false) const;
    static std::vector<std::pair<std::string, std::string>> assignments(
        std::vector<std::string>::const_iterator begin, std::vector<std::string>::const_iterator end);
    static int exitCodeFor(const Poco::Exception& e);
    bool revealsSecrets() const { return !_secretsFlag.empty(); }

    std::vector<std::string> _args;
    std::string _programFolder;
    std::string _database = _DEFAULT_DATABASE;
    std::string _dataFolder;
    std::string _localDevice;
    int _controller = 1;
    std::string _command;
    std::vector<std::string> _operands;
    /// --show-secrets or --with-secrets when given (anywhere on the line), else empty.
    std::string _secretsFlag;
};

}  // namespace Orvik::Gateway
