#pragma once

#include <Poco/Types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "AppCatalogue.h"
#include "DataConfiguredInstance.h"

namespace Orvik::Apps::Entity
{
class ApAppInstance;
}

namespace Orvik::Gateway
{

/// Reads and changes the app instances of one controller in the configuration database, through the
/// row classes on the host's session (Orvik::Utility::Data::pDB), for the configuration command.
///
/// Every change first resolves and checks everything it is given (app and instance names, parameter
/// names, each value through its datatype's ValueForm) and throws before anything is written:
///   Poco::NotFoundException      unknown controller, app, instance or parameter
///   Poco::DataFormatException    a value that is not of the parameter's datatype, naming the instance,
///                                the parameter, the expected form with an example and the text given
///                                (also a text the app would refuse at its start, ParameterRules)
///   Poco::ExistsException        an instance name used twice, a parameter given twice
///   Poco::InvalidArgumentException  a new instance's name outside the name grammar: up to 64 bytes,
///                                no control characters, quotes or backslash, not only digits (it
///                                would be taken for an id), no blank at either end
/// It then writes in one SQLite transaction; a database error rolls it back and is passed on as
/// Poco::WriteFileException. So a failed change leaves the database as it was.
///
/// Instances are named by their name (unique per controller) or by their id (id_ap_app_instance).
/// Texts given are quoted in messages with control characters escaped: a message is one line.
/// The apps read their parameters when they start: a change takes effect at an instance's next start.
class ConfigurationEditor
{
public:
    using Assignments = std::vector<std::pair<std::string, std::string>>;

    /// Reads the apps; throws Poco::NotFoundException when the controller has no dv_controller row.
    explicit ConfigurationEditor(Poco::Int32 idDvController);

    const AppCatalogue& catalogue() const { return _catalogue; }
    Poco::Int32 controller() const { return _idDvController; }

    /// Every instance of the controller, ascending by id.
    std::vector<DataConfiguredInstance> instances() const;
    DataConfiguredInstance instance(const std::string& nameOrId) const;

    /// Adds an instance (its instance number the app's next free one); returns its id.
    Poco::Int32 add(const DataInstanceSpec& wanted);
    /// Stores the values given; an empty text stores an empty value (not the default).
    void set(const std::string& nameOrId, const Assignments& values);
    /// Removes the instance with its stored values.
    void remove(const std::string& nameOrId);
    /// Enabled: started at the gateway's start (start_at_startup); disabled: neither flag set.
    void setEnabled(const std::string& nameOrId, bool enabled);

    /// Makes the controller's instances those of `wantedInstances`: an instance of the same name and
    /// app keeps its id, the values its app keeps itself and the secret values not wanted otherwise (a
    /// document exported without them restores the rest), takes the flag and values wanted for it and
    /// loses the other stored values (they read as their defaults again); other instances are removed,
    /// and wanted instances that do not exist yet are added.
    void apply(const std::vector<DataInstanceSpec>& wantedInstances);

private:
    /// A parameter's key and the text to store.
    using ResolvedValues = std::map<Poco::Int32, std::string>;

    const AppCatalogue::App& app(const std::string& name) const;
    ResolvedValues resolve(const std::string& instanceName, const AppCatalogue::App& app,
                           const Assignments& values) const;
    static void checkName(const std::string& name);
    void checkNameIsFree(const std::string& name, Poco::Int32 exceptId) const;
    DataConfiguredInstance read(const Orvik::Apps::Entity::ApAppInstance& row) const;

    Poco::Int32 insertInstance(const AppCatalogue::App& app, const std::string& name, bool enabled);
    void writeFlags(Poco::Int32 id, bool enabled);
    void writeValues(Poco::Int32 id, const ResolvedValues& values);
    void clearValuesExcept(const DataConfiguredInstance& instance, const ResolvedValues& kept);
    static void deleteInstance(Poco::Int32 id);
    static void inTransaction(const std::function<void()>& change);

    const Poco::Int32 _idDvController;
    const AppCatalogue _catalogue;
};

}  // namespace Orvik::Gateway
