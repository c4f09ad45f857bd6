#include "ConfigurationEditor.h"

#include <Poco/Data/DataException.h>
#include <Poco/Data/Statement.h>
#include <Poco/Exception.h>
#include <Poco/Format.h>
#include <Poco/NumberParser.h>

#include <algorithm>
#include <set>

#include "ParameterRules.h"

#include "Orvik_Utility/Data/EntityServer.h"
#include "Orvik_Utility/Data/TeskDbSession.h"
#include "Orvik_ZARoveDore/Entities/ApAppInstance.h"
#include "Orvik_ZARoveDore/Entities/Names.h"

using namespace Poco::Data::Keywords;

namespace Orvik::Gateway
{

using Orvik::Apps::Entity::ApAppInstance;
using Orvik::Apps::Entity::ApAppPropertyInstance;
using Orvik::Utility::Data::EntityServer;
using Orvik::Utility::Data::pDB;

namespace
{
const std::size_t MAX_NAME_BYTES = 64;

/// `text` in single quotes, control characters (and the backslash) written as escapes so that a message
/// stays one line and says exactly what was given.
std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (const char c : text)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            result += "\\n";
        else if (c == '\r')
            result += "\\r";
        else if (c == '\t')
            result += "\\t";
        else if (c == '\\')
            result += "\\\\";
        else if (byte < 0x20 || byte == 0x7f)
            result += Poco::format("\\x%02x", static_cast<unsigned>(byte));
        else
            result += c;
    }
    return result + "'";
}

bool isAcceptableName(const std::string& name)
{
    if (name.empty() || name.size() > MAX_NAME_BYTES || name.front() == ' ' || name.back() == ' ')
        return false;
    // Only digits would be taken for an instance id.
    if (name.find_first_not_of("0123456789") == std::string::npos)
        return false;
    return std::none_of(name.begin(), name.end(),
                        [](char c)
                        {
                            const auto byte = static_cast<unsigned char>(c);
                            return byte < 0x20 || byte == 0x7f || c == '\'' || c == '"' || c == '\\';
                        });
}
}  // namespace

ConfigurationEditor::ConfigurationEditor(Poco::Int32 idDvController) : _idDvController(idDvController)
{
    int count = 0;
    *pDB << "SELECT COUNT(*) FROM dv_controller WHERE id_dv_controller=?", bind(_idDvController), into(count),
        now;
    if (count == 0)
        throw Poco::NotFoundException("Controller " + std::to_string(_idDvController) +
                                      " is not in the configuration database (table dv_controller)");
}

std::vector<DataConfiguredInstance> ConfigurationEditor::instances() const
{
    EntityServer server(*pDB);
    server.setWhere(Orvik::Apps::Entity::Names::ID_DV_CONTROLLER + "=?");
    server.addSelectArg(_idDvController);
    std::map<Poco::Int32, ApAppInstance> rows;
    server.retrieve(rows);
    std::vector<DataConfiguredInstance> instances;
    for (const auto& [id, row] : rows)
        instances.push_back(read(row));
    return instances;
}

DataConfiguredInstance ConfigurationEditor::read(const ApAppInstance& row) const
{
    DataConfiguredInstance instance;
    instance.id = row.getIdApAppInstance();
    instance.pApp = _catalogue.findApp(row.getIdApApp());
    instance.name = row.getName();
    instance.enabled = row.getStartAtStartup() || row.getStartNow();
    ApAppInstance reader(row);
    if (reader.retrieveApAppPropertyInstances() > 0)
    {
        for (const auto& [key, value] : *reader.getApAppPropertyInstances())
            instance.stored[value.getIdApAppProperty()] = value.getValue();
    }
    return instance;
}

DataConfiguredInstance ConfigurationEditor::instance(const std::string& nameOrId) const
{
    const std::vector<DataConfiguredInstance> all = instances();
    std::vector<DataConfiguredInstance> named;
    for (const DataConfiguredInstance& instance : all)
    {
        if (instance.name == nameOrId)
            named.push_back(instance);
    }
    if (named.size() > 1)
        throw Poco::NotFoundException("Several instances are named " + quoted(nameOrId) + "; give its id");
    if (named.size() == 1)
        return named.front();
    int id = 0;
    if (Poco::NumberParser::tryParse(nameOrId, id))
    {
        for (const DataConfiguredInstance& instance : all)
        {
            if (instance.id == id)
                return instance;
        }
    }
    throw Poco::NotFoundException("No instance " + quoted(nameOrId) + " on controller " +
                                  std::to_string(_idDvController) + " (see: config show)");
}

const AppCatalogue::App& ConfigurationEditor::app(const std::string& name) const
{
    const AppCatalogue::App* pApp = _catalogue.findApp(name);
    if (pApp == nullptr)
        throw Poco::NotFoundException("Unknown app " + quoted(name) + " (see: config apps)");
    return *pApp;
}

ConfigurationEditor::ResolvedValues ConfigurationEditor::resolve(const std::string& instanceName,
                                                                 const AppCatalogue::App& app,
                                                                 const Assignments& values) const
{
    ResolvedValues resolved;
    for (const auto& [name, text] : values)
    {
        const AppCatalogue::Parameter* pParameter = app.findParameter(name);
        if (pParameter == nullptr)
            throw Poco::NotFoundException("Instance " + quoted(instanceName) + ": app " + app.name +
                                          " has no parameter " + quoted(name) + " (see: config apps)");
        // A refused secret is not repeated on the terminal.
        const std::string given = pParameter->secret ? "a secret (not shown)" : quoted(text);
        std::string storedText;
        if (!pParameter->form.check(text, storedText))
            throw Poco::DataFormatException("Instance " + quoted(instanceName) + ", parameter " +
                                            quoted(pParameter->name) + ": expected " +
                                            pParameter->form.expected() + "; given " + given);
        if (const auto refusal =
                ParameterRules::check(app, *pParameter, pParameter->form.appText(storedText)))
            throw Poco::DataFormatException(
                "Instance " + quoted(instanceName) + ", parameter " + quoted(pParameter->name) +
                ": expected " + refusal->expected + "; given " +
                (refusal->hidesText ? "a secret (not shown)" : given) + " (" + refusal->problem + ")");
        if (!resolved.emplace(pParameter->key, storedText).second)
            throw Poco::ExistsException("Instance " + quoted(instanceName) + ": parameter " +
                                        quoted(pParameter->name) + " is given twice");
    }
    return resolved;
}

void ConfigurationEditor::checkName(const std::string& name)
{
    if (!isAcceptableName(name))
        throw Poco::InvalidArgumentException(
            "Instance name: expected up to " + std::to_string(MAX_NAME_BYTES) +
            " characters, letters, digits, blanks and punctuation without quotes or backslash, not only "
            "digits, no blank at either end, for example Trend log upload; given " +
            quoted(name));
}

void ConfigurationEditor::checkNameIsFree(const std::string& name, Poco::Int32 exceptId) const
{
    checkName(name);
    for (const DataConfiguredInstance& instance : instances())
    {
        if (instance.name == name && instance.id != exceptId)
            throw Poco::ExistsException("Controller " + std::to_string(_idDvController) +
                                        " already has an instance named " + quoted(name) + " (id " +
                                        std::to_string(instance.id) + ")");
    }
}

Poco::Int32 ConfigurationEditor::add(const DataInstanceSpec& wanted)
{
    const AppCatalogue::App& theApp = app(wanted.app);
    checkNameIsFree(wanted.name, 0);
    const ResolvedValues values = resolve(wanted.name, theApp, wanted.parameters);
    Poco::Int32 id = 0;
    inTransaction(
        [&]
        {
            id = insertInstance(theApp, wanted.name, wanted.enabled);
            writeValues(id, values);
        });
    return id;
}

void ConfigurationEditor::set(const std::string& nameOrId, const Assignments& values)
{
    const DataConfiguredInstance target = instance(nameOrId);
    if (target.pApp == nullptr)
        throw Poco::NotFoundException("Instance " + quoted(target.name) + " belongs to an unknown app");
    const ResolvedValues resolved = resolve(target.name, *target.pApp, values);
    inTransaction([&] { writeValues(target.id, resolved); });
}

void ConfigurationEditor::remove(const std::string& nameOrId)
{
    const DataConfiguredInstance target = instance(nameOrId);
    inTransaction([&] { deleteInstance(target.id); });
}

void ConfigurationEditor::setEnabled(const std::string& nameOrId, bool enabled)
{
    const DataConfiguredInstance target = instance(nameOrId);
    inTransaction([&] { writeFlags(target.id, enabled); });
}

void ConfigurationEditor::apply(const std::vector<DataInstanceSpec>& wantedInstances)
{
    // Everything is checked before the first write.
    std::set<std::string> names;
    std::vector<ResolvedValues> resolved;
    for (const DataInstanceSpec& wanted : wantedInstances)
    {
        checkName(wanted.name);
        if (!names.insert(wanted.name).second)
            throw Poco::ExistsException("The instance name " + quoted(wanted.name) + " is used twice");
        resolved.push_back(resolve(wanted.name, app(wanted.app), wanted.parameters));
    }
    const std::vector<DataConfiguredInstance> existing = instances();
    inTransaction(
        [&]
        {
            for (const DataConfiguredInstance& instance : existing)
            {
                if (names.count(instance.name) == 0)
                    deleteInstance(instance.id);
            }
            for (std::size_t i = 0; i < wantedInstances.size(); ++i)
            {
                const AppCatalogue::App& theApp = app(wantedInstances[i].app);
                const DataConfiguredInstance* pKept = nullptr;
                for (const DataConfiguredInstance& instance : existing)
                {
                    if (instance.name != wantedInstances[i].name)
                        continue;
                    if (pKept == nullptr && instance.pApp == &theApp)
                        pKept = &instance;
                    else
                        deleteInstance(instance.id);
                }
                if (pKept == nullptr)
                {
                    writeValues(insertInstance(theApp, wantedInstances[i].name, wantedInstances[i].enabled),
                                resolved[i]);
                    continue;
                }
                writeFlags(pKept->id, wantedInstances[i].enabled);
                clearValuesExcept(*pKept, resolved[i]);
                writeValues(pKept->id, resolved[i]);
            }
        });
}

Poco::Int32 ConfigurationEditor::insertInstance(const AppCatalogue::App& app, const std::string& name,
                                                bool enabled)
{
    int instanceNr = 0;
    *pDB << "SELECT IFNULL(MAX(instance_nr),0)+1 FROM ap_app_instance WHERE id_ap_app=? AND "
            "id_dv_controller=?",
        bind(app.key), bind(_idDvController), into(instanceNr), now;
    ApAppInstance row(true);
    row.setIdApApp(app.key);
    row.setIdDvController(_idDvController);
    row.setInstanceNr(instanceNr);
    row.setName(name);
    row.setStartAtStartup(enabled);
    EntityServer server(*pDB);
    server.update(row, nullptr);
    return row.getIdApAppInstance();
}

void ConfigurationEditor::writeFlags(Poco::Int32 id, bool enabled)
{
    ApAppInstance row;
    EntityServer server(*pDB);
    row.retrieve(id, server);
    row.setStartAtStartup(enabled);
    if (!enabled)
        row.setStartNow(false);
    server.update(row, nullptr);
}

void ConfigurationEditor::writeValues(Poco::Int32 id, const ResolvedValues& values)
{
    ApAppInstance instance;
    instance.setPK(id, false);
    std::map<Poco::Int32, ApAppPropertyInstance> byParameter;
    if (instance.retrieveApAppPropertyInstances() > 0)
    {
        for (const auto& [key, row] : *instance.getApAppPropertyInstances())
            byParameter.emplace(row.getIdApAppProperty(), row);
    }
    EntityServer server(*pDB);
    for (const auto& [parameterKey, text] : values)
    {
        auto found = byParameter.find(parameterKey);
        ApAppPropertyInstance row = found != byParameter.end() ? found->second : ApAppPropertyInstance(true);
        if (found == byParameter.end())
        {
            row.setIdApAppInstance(id);
            row.setIdApAppProperty(parameterKey);
        }
        // An empty text is no value: NULL, as the apps store it.
        row.setVar(ApAppPropertyInstance::_COL_VALUE,
                   text.empty() ? Poco::Dynamic::Var() : Poco::Dynamic::Var(text), true);
        server.update(row, nullptr);
    }
}

void ConfigurationEditor::clearValuesExcept(const DataConfiguredInstance& instance,
                                            const ResolvedValues& kept)
{
    for (const auto& [parameterKey, text] : instance.stored)
    {
        const AppCatalogue::Parameter* pParameter = instance.pApp->findParameter(parameterKey);
        if (kept.count(parameterKey) > 0 ||
            (pParameter != nullptr && (pParameter->keptByApp || pParameter->secret)))
            continue;
        Poco::Int32 instanceId = instance.id;
        Poco::Int32 key = parameterKey;
        *pDB << "DELETE FROM ap_app_property_instance WHERE id_ap_app_instance=? AND id_ap_app_property=?",
            use(instanceId), use(key), now;
    }
}

void ConfigurationEditor::deleteInstance(Poco::Int32 id)
{
    // Its stored values go with it (ON DELETE CASCADE).
    *pDB << "DELETE FROM ap_app_instance WHERE id_ap_app_instance=?", use(id), now;
}

void ConfigurationEditor::inTransaction(const std::function<void()>& change)
{
    pDB->begin();
    try
    {
        change();
        pDB->commit();
    }
    catch (Poco::Data::DataException& e)
    {
        pDB->rollback();
        throw Poco::WriteFileException("Cannot write the configuration database " + pDB->getFileName() +
                                       ": " + e.displayText() + "; nothing was changed");
    }
    catch (...)
    {
        pDB->rollback();
        throw;
    }
}

}  // namespace Orvik::Gateway
