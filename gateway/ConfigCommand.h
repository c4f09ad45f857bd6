#pragma once

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
///     apps                                   the apps and their parameters
///     show [INSTANCE]                        the instances with every value, stored or default
///     add APP --name NAME (or --name=NAME) [--disabled] [PARAMETER=VALUE ...]
///     set INSTANCE PARAMETER=VALUE ...
///     remove INSTANCE | enable INSTANCE | disable INSTANCE
///     export FILE | import FILE              the controller's configuration as JSON ("-": standard
///                                            output or input)
///
/// The database is the gateway's (default /var/lib/orvik/config.db), created from the schema when it
/// does not exist; it may be in use by the running gateway (SQLite waits for its locks). Every
/// value is checked before anything is written and each command writes in one transaction (see
/// ConfigurationEditor). Results go to `out`; a refusal is one line on `err` and a non-zero exit
/// code (the sysexits codes the gateway uses), with the database unchanged.
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
    void execute(std::ostream& out);
    void help(std::ostream& out) const;
    void listApps(const ConfigurationEditor& editor, std::ostream& out) const;
    void show(const ConfigurationEditor& editor, std::ostream& out) const;
    void add(ConfigurationEditor& editor, std::ostream& out) const;
    void exportTo(const ConfigurationEditor& editor, std::ostream& out) const;
    void importFrom(ConfigurationEditor& editor, std::ostream& out) const;

    /// The operands after the command; throws Poco::InvalidArgumentException when there are not
    /// `count` (or, with `orMore`, fewer).
    const std::vector<std::string>& operands(std::size_t count, bool orMore = false) const;
    static std::vector<std::pair<std::string, std::string>> assignments(
        std::vector<std::string>::const_iterator begin, std::vector<std::string>::const_iterator end);
    static int exitCodeFor(const Poco::Exception& e);

    std::vector<std::string> _args;
    std::string _programFolder;
    std::string _database = _DEFAULT_DATABASE;
    std::string _dataFolder;
    int _controller = 1;
    std::string _command;
    std::vector<std::string> _operands;
};

}  // namespace Orvik::Gateway
