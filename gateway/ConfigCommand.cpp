#include "ConfigCommand.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/NumberFormatter.h>
#include <Poco/NumberParser.h>
#include <Poco/Path.h>
#include <Poco/String.h>
#include <Poco/Util/Application.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>

#include "ConfigurationDatabase.h"
#include "ConfigurationDocument.h"
#include "ConfigurationEditor.h"
#include "DataFiles.h"
#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_BACnetDevice/LogStore.h"
#include "Orvik_BACnetDevice/Site.h"
#include "PrivateFile.h"

namespace Orvik::Gateway
{

const std::string ConfigCommand::_DEFAULT_DATABASE = "/var/lib/orvik/config.db";

namespace
{

const char* const HELP =
    "Usage: orvik-gateway config [--database FILE] [--controller ID] [--data-dir FOLDER] COMMAND ...\n"
    "\n"
    "Configures the apps of a controller in the gateway's configuration database (default\n"
    "/var/lib/orvik/config.db; created from the schema when it does not exist). It works while the\n"
    "gateway runs. The apps read their parameters when they start: a change takes effect at the\n"
    "app's next start, so restart the gateway (systemctl restart orvik-gateway) to apply it.\n"
    "\n"
    "Commands:\n"
    "  apps                          every app with its parameters: name, type, default, description\n"
    "  show [INSTANCE] [--show-secrets]\n"
    "                                the instances with every value, stored or (default); secret values\n"
    "                                (passwords, tokens) as ******** unless --show-secrets\n"
    "  add APP --name NAME [--disabled] [PARAMETER=VALUE ...]\n"
    "                                a new instance of APP, started with the gateway unless --disabled\n"
    "  set INSTANCE PARAMETER=VALUE ...\n"
    "                                stores the values (VALUE empty: an empty value)\n"
    "  remove INSTANCE               removes the instance and its values\n"
    "  enable INSTANCE               starts the instance with the gateway\n"
    "  disable INSTANCE              does not start it\n"
    "  export FILE [--with-secrets]  the controller's configuration as JSON (FILE -: standard output),\n"
    "                                without the secret values unless --with-secrets; FILE is readable\n"
    "                                by its owner only\n"
    "  import FILE                   makes the controller's configuration that of the JSON document\n"
    "                                (FILE -: standard input): instances it does not name are removed,\n"
    "                                parameters it does not name go back to their defaults; values the\n"
    "                                apps keep themselves (upload positions) and secret values it does\n"
    "                                not name stay\n"
    "  trend-logs [--local-device FILE]\n"
    "                                the trend logs that the gateway's own device records, as its\n"
    "                                description file (default: the shipped sites/local-device.json)\n"
    "                                configures them ('record' members, see sites/README.md), checked\n"
    "\n"
    "INSTANCE is an instance's name or id. A name has up to 64 characters: letters, digits, blanks and\n"
    "punctuation but no quotes or backslash, not only digits, no blank at either end. APP and PARAMETER\n"
    "are the names 'apps' lists. The options (--database, --controller, --data-dir) go before or after\n"
    "the command and take their value after '=' or as the next argument. Values are written as 'apps'\n"
    "shows (text as it is, lists in brackets: [device:7/trend-log:3, ...]); each is checked before\n"
    "anything is written, and each command changes the database in one transaction.\n"
    "A database the command creates is readable and writable by its owner only (mode 0600): run it as\n"
    "the gateway's user (sudo -u orvik orvik-gateway config ...).\n";

/// The options of every command, taken wherever they stand on the line.
const std::vector<std::string> OPTIONS = {"--database", "--controller", "--data-dir", "--local-device",
                                          "--help"};

std::string padded(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string displayed(const std::string& text)
{
    return text.empty() ? "(empty)" : text;
}

/// What a secret value is shown as; an empty one stays "(empty)", which gives nothing away.
const std::string MASK = "********";

/// The flag that reveals secret values, by the command that writes values out.
const std::map<std::string, std::string> SECRETS_FLAGS = {{"show", "--show-secrets"},
                                                          {"export", "--with-secrets"}};

/// The command that `argument` reveals secret values to, or "" when it is no such flag.
std::string commandRevealedTo(const std::string& argument)
{
    for (const auto& [command, flag] : SECRETS_FLAGS)
    {
        if (flag == argument)
            return command;
    }
    return "";
}

/// How a recorded trend log is logged, as `config trend-logs` shows it.
std::string loggingText(const BACnet::Device::LogStore::Log& log)
{
    if (log.triggered)
        return "when triggered";
    const std::string polled =
        "every " + Poco::NumberFormatter::format(log.interval.totalMicroseconds() / 1e6) + " s";
    return log.cov ? "COV, renewed every " + std::to_string(log.resubscriptionSeconds) + " s, else " + polled
                   : polled;
}

}  // namespace

ConfigCommand::ConfigCommand(const std::vector<std::string>& args, const std::string& programFolder)
    : _args(args), _programFolder(programFolder)
{
}

int ConfigCommand::run(std::ostream& out, std::ostream& err)
{
    try
    {
        parseOptions();
        execute(out);
        return Poco::Util::Application::EXIT_OK;
    }
    catch (Poco::Exception& e)
    {
        err << "orvik-gateway config: " << (e.message().empty() ? e.displayText() : e.message()) << std::endl;
        return exitCodeFor(e);
    }
}

void ConfigCommand::parseOptions()
{
    for (auto it = _args.cbegin(); it != _args.cend(); ++it)
    {
        const std::string name = it->substr(0, it->find('='));
        if (!commandRevealedTo(*it).empty())
            _secretsFlag = *it;
        else if (std::find(OPTIONS.begin(), OPTIONS.end(), name) != OPTIONS.end() ||
                 (_command.empty() && it->rfind("--", 0) == 0))
            parseOption(it);
        else if (_command.empty())
            _command = *it;
        else
        {
            _operands.push_back(*it);
            // The value of a command's own option, "--name VALUE", is never read as an option.
            if (*it == "--name" && it + 1 != _args.cend())
                _operands.push_back(*++it);
        }
    }
    if (_command.empty())
        throw Poco::InvalidArgumentException("No command given (see: config help)");
    if (!_secretsFlag.empty() && commandRevealedTo(_secretsFlag) != _command)
        throw Poco::InvalidArgumentException(_secretsFlag + " goes with " + commandRevealedTo(_secretsFlag) +
                                             " only (see: config help)");
}

void ConfigCommand::parseOption(std::vector<std::string>::const_iterator& it)
{
    const std::string::size_type equals = it->find('=');
    const std::string name = it->substr(0, equals);
    if (name == "--help")
    {
        _command = "help";
        return;
    }
    // "--option=VALUE" or "--option VALUE"
    std::string value;
    if (equals != std::string::npos)
        value = it->substr(equals + 1);
    else if (it + 1 != _args.end())
        value = *++it;
    if (name == "--database" && !value.empty())
        _database = Poco::Path(value).absolute().toString();
    else if (name == "--data-dir" && !value.empty())
        _dataFolder = Poco::Path(value).absolute().toString();
    else if (name == "--local-device" && !value.empty())
        _localDevice = Poco::Path(value).absolute().toString();
    else if (name != "--controller" || !Poco::NumberParser::tryParse(value, _controller))
        throw Poco::InvalidArgumentException("Unknown or incomplete option " + name +
                                             (value.empty() ? "" : " " + value) + " (see: config help)");
}

void ConfigCommand::execute(std::ostream& out)
{
    if (_command == "help")
    {
        help(out);
        return;
    }
    static const std::vector<std::string> COMMANDS = {"apps",   "show",    "add",    "set",    "remove",
                                                      "enable", "disable", "export", "import", "trend-logs"};
    if (std::find(COMMANDS.begin(), COMMANDS.end(), _command) == COMMANDS.end())
        throw Poco::InvalidArgumentException("Unknown command " + _command + " (see: config help)");
    const DataFiles dataFiles(_dataFolder, _programFolder);
    const ConfigurationDatabase database(_database, {dataFiles.schema(), dataFiles.appCatalogue()},
                                         dataFiles.appCatalogue());
    ConfigurationEditor editor(_controller);
    if (_command == "trend-logs")
        showTrendLogs(_localDevice.empty() ? dataFiles.localDevice() : _localDevice,
                      database.ownDeviceInstance(_controller).value_or(0), out);
    else if (_command == "apps")
        listApps(editor, out);
    else if (_command == "show")
        show(editor, out);
    else if (_command == "add")
        add(editor, out);
    else if (_command == "set")
        editor.set(operands(2, true).front(), assignments(_operands.begin() + 1, _operands.end()));
    else if (_command == "remove")
        editor.remove(operands(1).front());
    else if (_command == "enable" || _command == "disable")
        editor.setEnabled(operands(1).front(), _command == "enable");
    else if (_command == "export")
        exportTo(editor, out);
    else
        importFrom(editor, out);
}

void ConfigCommand::showTrendLogs(const std::string& localDevice, Poco::UInt32 ownDevice,
                                  std::ostream& out) const
{
    using namespace Orvik::BACnet;
    operands(0);
    // Read as the gateway reads it, into a store of no file: the description is checked, nothing written.
    const auto pStore = std::make_shared<Device::LogStore>(":memory:");
    const auto pSite = Device::Site::loadOwnDevice(localDevice, ownDevice, pStore);
    const std::vector<Device::LogStore::Log> logs = pStore->logs();
    out << logs.size() << " recorded trend log(s) in " << localDevice << "\n";
    const Poco::UInt32 device = pSite->getDeviceInstances().front();
    for (const Device::LogStore::Log& log : logs)
    {
        const DataType::ObjectIdentifier object(OBJECT_TREND_LOG, log.instance);
        ValueContainer name;
        pSite->readProperty(device, object, Codec::PropertyReference(PROP_OBJECT_NAME), name);
        const DataType::BACnetDeviceObjectPropertyReference& logged = log.reference;
        out << "  " << object.toString() << " \"" << name.getCharString()
            << "\": " << logged.getDeviceIdentifier().toString() << "/"
            << logged.getObjectIdentifier().toString() << "/"
            << ProtocolText::propertyName(logged.getPropertyIdentifier()) << ", " << loggingText(log)
            << ", buffer " << log.bufferSize << (log.stopWhenFull ? " (stops when full), " : " (wraps), ")
            << (pStore->state(log.instance).enabled ? "enabled" : "disabled") << "\n";
    }
}

void ConfigCommand::help(std::ostream& out) const
{
    out << HELP;
}

const std::vector<std::string>& ConfigCommand::operands(std::size_t count, bool orMore) const
{
    if (_operands.size() < count || (!orMore && _operands.size() > count))
        throw Poco::InvalidArgumentException("Wrong number of arguments for " + _command +
                                             " (see: config help)");
    return _operands;
}

std::vector<std::pair<std::string, std::string>> ConfigCommand::assignments(
    std::vector<std::string>::const_iterator begin, std::vector<std::string>::const_iterator end)
{
    std::vector<std::pair<std::string, std::string>> result;
    for (auto it = begin; it != end; ++it)
    {
        const std::string::size_type equals = it->find('=');
        if (equals == std::string::npos || equals == 0)
            throw Poco::InvalidArgumentException("Not PARAMETER=VALUE: " + *it);
        result.emplace_back(it->substr(0, equals), it->substr(equals + 1));
    }
    return result;
}

void ConfigCommand::listApps(const ConfigurationEditor& editor, std::ostream& out) const
{
    operands(0);
    for (const AppCatalogue::App& app : editor.catalogue().apps())
    {
        out << app.name << " (vendor " << app.vendor << ", app " << app.number << "): " << app.description
            << "\n";
        std::size_t nameWidth = 0;
        std::size_t typeWidth = 0;
        for (const AppCatalogue::Parameter& parameter : app.parameters)
        {
            nameWidth = std::max(nameWidth, parameter.name.size() + 2);
            typeWidth = std::max(typeWidth, parameter.form.typeName().size() + 2);
        }
        for (const AppCatalogue::Parameter& parameter : app.parameters)
        {
            out << "  " << padded(parameter.name, nameWidth) << padded(parameter.form.typeName(), typeWidth)
                << "default " << displayed(parameter.defaultText);
            if (!parameter.description.empty())
                out << "  - " << parameter.description;
            if (parameter.keptByApp)
                out << " (kept by the app)";
            if (parameter.secret)
                out << " (secret)";
            out << "\n";
        }
    }
}

void ConfigCommand::show(const ConfigurationEditor& editor, std::ostream& out) const
{
    operands(0, true);
    std::vector<DataConfiguredInstance> instances;
    if (_operands.empty())
        instances = editor.instances();
    else
        instances.push_back(editor.instance(operands(1).front()));
    for (const DataConfiguredInstance& instance : instances)
    {
        out << instance.name << " (id " << instance.id
            << "): " << (instance.pApp != nullptr ? instance.pApp->name : "unknown app") << ", "
            << (instance.enabled ? "enabled" : "disabled") << "\n";
        if (instance.pApp == nullptr)
            continue;
        std::size_t nameWidth = 0;
        for (const AppCatalogue::Parameter& parameter : instance.pApp->parameters)
            nameWidth = std::max(nameWidth, parameter.name.size() + 1);
        for (const AppCatalogue::Parameter& parameter : instance.pApp->parameters)
        {
            const auto stored = instance.stored.find(parameter.key);
            out << "  " << padded(parameter.name, nameWidth) << "= ";
            if (stored != instance.stored.end())
                out << displayed(
                    parameter.secret && !revealsSecrets() && !stored->second.empty() ? MASK : stored->second);
            else
                out << displayed(parameter.defaultText) << "  (default)";
            if (parameter.keptByApp)
                out << "  (kept by the app)";
            out << "\n";
        }
    }
}

void ConfigCommand::add(ConfigurationEditor& editor, std::ostream& out) const
{
    operands(1, true);
    DataInstanceSpec wanted;
    wanted.app = _operands.front();
    std::vector<std::string> values;
    for (auto it = _operands.begin() + 1; it != _operands.end(); ++it)
    {
        if (it->rfind("--name=", 0) == 0)
            wanted.name = it->substr(7);
        else if (*it == "--name" && it + 1 != _operands.end())
            wanted.name = *++it;
        else if (*it == "--disabled")
            wanted.enabled = false;
        else
            values.push_back(*it);
    }
    if (wanted.name.empty())
        throw Poco::InvalidArgumentException("add needs --name NAME");
    wanted.parameters = assignments(values.begin(), values.end());
    const Poco::Int32 id = editor.add(wanted);
    out << "Added " << wanted.name << " (id " << id << ")\n";
}

void ConfigCommand::exportTo(const ConfigurationEditor& editor, std::ostream& out) const
{
    const std::string& file = operands(1).front();
    if (file == "-")
    {
        ConfigurationDocument::write(out, editor.controller(), editor.instances(), revealsSecrets());
        return;
    }
    // Written beside the target and renamed into place: an export never leaves half a file.
    const std::string temporary = file + ".new";
    try
    {
        PrivateFile::create(temporary);
        Poco::FileOutputStream stream(temporary);
        ConfigurationDocument::write(stream, editor.controller(), editor.instances(), revealsSecrets());
        stream.close();
        if (!stream.good())
            throw Poco::WriteFileException(temporary);
        Poco::File(temporary).renameTo(file);
    }
    catch (Poco::FileException& e)
    {
        throw Poco::WriteFileException("Cannot write " + file + ": " + e.displayText());
    }
}

void ConfigCommand::importFrom(ConfigurationEditor& editor, std::ostream& out) const
{
    const std::string& file = operands(1).front();
    std::vector<DataInstanceSpec> wantedInstances;
    if (file == "-")
        wantedInstances = ConfigurationDocument::read(std::cin);
    else
    {
        std::unique_ptr<Poco::FileInputStream> pStream;
        try
        {
            pStream = std::make_unique<Poco::FileInputStream>(file);
        }
        catch (Poco::FileException& e)
        {
            throw Poco::OpenFileException("Cannot read " + file + ": " + e.displayText());
        }
        wantedInstances = ConfigurationDocument::read(*pStream);
    }
    editor.apply(wantedInstances);
    out << "Imported " << wantedInstances.size() << " instances into controller " << editor.controller()
        << "\n";
}

int ConfigCommand::exitCodeFor(const Poco::Exception& e)
{
    using App = Poco::Util::Application;
    if (dynamic_cast<const Poco::InvalidArgumentException*>(&e) != nullptr)
        return App::EXIT_USAGE;
    if (dynamic_cast<const Poco::WriteFileException*>(&e) != nullptr)
        return App::EXIT_CANTCREAT;
    if (dynamic_cast<const Poco::FileException*>(&e) != nullptr)
        return App::EXIT_NOINPUT;
    if (dynamic_cast<const Poco::DataFormatException*>(&e) != nullptr ||
        dynamic_cast<const Poco::NotFoundException*>(&e) != nullptr ||
        dynamic_cast<const Poco::ExistsException*>(&e) != nullptr)
        return App::EXIT_DATAERR;
    return App::EXIT_SOFTWARE;
}

}  // namespace Orvik::Gateway
