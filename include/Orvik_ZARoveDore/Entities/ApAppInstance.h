#pragma once

#include "Orvik_ZARoveDore/Entities/Ap.h"
#include "Orvik_ZARoveDore/Entities/ApAppPropertyInstance.h"
#include "Orvik_ZARoveDore/Entities/ParentLink.h"

namespace Orvik::Apps::Entity
{

class ApApp;

/// A row of ap_app_instance: one configured instance of an app on a controller.
/// Its key is the app instance id that every app is constructed with.
///
/// Parent: its app (foreign key column 1), loaded on first use and then owned, or
/// set from outside with setApApp and then not owned (see ParentLink). Children:
/// its stored parameter values, as for ApApp.
class ApAppInstance : public Ap
{
public:
    using ApAppPropertyInstances = std::map<Poco::Int32, ApAppPropertyInstance>;

    static const ColNames _colNames;
    static constexpr std::size_t _COL_ID_AP_APP_INSTANCE = 0;
    static constexpr std::size_t _COL_ID_AP_APP = 1;
    static constexpr std::size_t _COL_ID_DV_CONTROLLER = 2;
    static constexpr std::size_t _COL_INSTANCE_NR = 3;
    static constexpr std::size_t _COL_NAME = 4;
    static constexpr std::size_t _COL_START_AT_STARTUP = 5;
    static constexpr std::size_t _COL_START_NOW = 6;
    static constexpr std::size_t _COL_ID_BN_PROGRAM = 7;
    static constexpr std::size_t _COL_ID_BN_SCHEDULER = 8;

    /// `setAsNew`: a row to insert, with id_dv_controller 1, instance_nr 1,
    /// start_at_startup and start_now false (marked changed).
    explicit ApAppInstance(bool setAsNew = false);

    const std::string& getTableName() const override;
    const ColNames& getColNames() const override;
    /// Stores the key and writes it into id_ap_app_instance of every held value.
    void setPK(Poco::Int32 pk, bool updateStatus) override;

    Poco::Int32 retrieve(Poco::Int32 id, EntityServer& es);

    Poco::Int32 getIdApAppInstance() const { return getPK(); }
    void setIdApAppInstance(Poco::Int32 id) { setPK(id, true); }
    Poco::Int32 getIdApApp() const { return getInt(_COL_ID_AP_APP); }
    void setIdApApp(Poco::Int32 idApApp) { setVar(_COL_ID_AP_APP, idApApp, true); }
    Poco::Int32 getIdDvController() const { return getInt(_COL_ID_DV_CONTROLLER); }
    void setIdDvController(Poco::Int32 id) { setVar(_COL_ID_DV_CONTROLLER, id, true); }
    Poco::Int32 getInstanceNr() const { return getInt(_COL_INSTANCE_NR); }
    void setInstanceNr(Poco::Int32 instanceNr) { setVar(_COL_INSTANCE_NR, instanceNr, true); }
    std::string getName() const { return getString(_COL_NAME); }
    void setName(const std::string& name) { setVar(_COL_NAME, name, true); }
    bool getStartAtStartup() const { return getBool(_COL_START_AT_STARTUP); }
    void setStartAtStartup(bool start) { setVar(_COL_START_AT_STARTUP, start, true); }
    bool getStartNow() const { return getBool(_COL_START_NOW); }
    void setStartNow(bool start) { setVar(_COL_START_NOW, start, true); }
    Poco::Nullable<int> getIdBnProgram() const { return getNullableInt(_COL_ID_BN_PROGRAM); }
    void setIdBnProgram(const Poco::Nullable<int>& id) { setNullableInt(_COL_ID_BN_PROGRAM, id); }
    Poco::Nullable<int> getIdBnScheduler() const { return getNullableInt(_COL_ID_BN_SCHEDULER); }
    void setIdBnScheduler(const Poco::Nullable<int>& id) { setNullableInt(_COL_ID_BN_SCHEDULER, id); }

    /// Loads the app when this row owns its parent link; returns the parent.
    ApApp* retrieveApApp();
    /// The app, loaded on first use.
    ApApp* getApApp();
    /// Sets the app from outside (not owned) and writes its key into id_ap_app; null
    /// lets this row load the app itself on next use.
    void setApApp(ApApp* pApApp);

    Poco::Int32 retrieveApAppPropertyInstances(const std::string* pWhere = nullptr,
                                               const Vars* pSelectArgs = nullptr);
    ApAppPropertyInstances* getApAppPropertyInstances();
    ApAppPropertyInstance* findApAppPropertyInstance(Poco::Int32 idApAppPropertyInstance);
    void addPropertyInstance(ApAppPropertyInstance& propertyInstance);
    /// Writes this row, then every held value; returns the number of rows written.
    Poco::Int32 updateAll(EntityServer& es, AutoIncrementVector* pKeys);

private:
    ParentLink<ApApp> _pApApp;
    std::shared_ptr<ApAppPropertyInstances> _pApAppPropertyInstances;
};

}  // namespace Orvik::Apps::Entity

namespace Poco::Data
{
template <>
class TypeHandler<Orvik::Apps::Entity::ApAppInstance>
    : public Orvik::Utility::Data::EntityTypeHandler<Orvik::Apps::Entity::ApAppInstance>
{
};
}  // namespace Poco::Data
