#pragma once

#include "Orvik_ZARoveDore/Entities/Ap.h"
#include "Orvik_ZARoveDore/Entities/ApAppInstance.h"
#include "Orvik_ZARoveDore/Entities/ApAppProperty.h"

namespace Orvik::Apps::Entity
{

/// A row of ap_app: one kind of app, named by its maker's BACnet vendor identifier
/// and its app number. The manager starts only apps of type 2.
///
/// Holds, once read or added, its instances and its parameter definitions
/// (maps keyed by their primary key, null until first used, shared with copies of
/// this row; see Ap). Children added with addAppInstance/addProperty point back to
/// this object without owning it: it must outlive them while they use getApApp().
class ApApp : public Ap
{
public:
    using ApAppInstances = std::map<Poco::Int32, ApAppInstance>;
    using ApAppProperties = std::map<Poco::Int32, ApAppProperty>;

    static const ColNames _colNames;
    static constexpr std::size_t _COL_ID_AP_APP = 0;
    static constexpr std::size_t _COL_ID_VENDOR = 1;
    static constexpr std::size_t _COL_APP_ID = 2;
    static constexpr std::size_t _COL_TYPE = 3;
    static constexpr std::size_t _COL_NAME = 4;
    static constexpr std::size_t _COL_DESCRIPTION = 5;

    /// `setAsNew`: a row to insert, with id_vendor, app_id and type 0 (marked changed).
    explicit ApApp(bool setAsNew = false);

    const std::string& getTableName() const override;
    const ColNames& getColNames() const override;
    /// Stores the key and writes it into id_ap_app of every held instance and property.
    void setPK(Poco::Int32 pk, bool updateStatus) override;

    /// Reads the row with key `id`; returns the number of rows read (0 or 1).
    Poco::Int32 retrieve(Poco::Int32 id, EntityServer& es);

    Poco::Int32 getIdApApp() const { return getPK(); }
    void setIdApApp(Poco::Int32 id) { setPK(id, true); }
    Poco::Int32 getIdVendor() const { return getInt(_COL_ID_VENDOR); }
    void setIdVendor(Poco::Int32 idVendor) { setVar(_COL_ID_VENDOR, idVendor, true); }
    Poco::Int32 getAppId() const { return getInt(_COL_APP_ID); }
    void setAppId(Poco::Int32 appId) { setVar(_COL_APP_ID, appId, true); }
    Poco::Int32 getType() const { return getInt(_COL_TYPE); }
    void setType(Poco::Int32 type) { setVar(_COL_TYPE, type, true); }
    std::string getName() const { return getString(_COL_NAME); }
    void setName(const std::string& name) { setVar(_COL_NAME, name, true); }
    std::string getDescription() const { return getString(_COL_DESCRIPTION); }
    void setDescription(const std::string& description) { setVar(_COL_DESCRIPTION, description, true); }

    /// (Re)load the children of this app, narrowed by an optional where-clause with
    /// its arguments. Returns the number read; when none, the map becomes null.
    Poco::Int32 retrieveApAppInstances(const std::string* pWhere = nullptr,
                                       const Vars* pSelectArgs = nullptr);
    Poco::Int32 retrieveApAppProperties(const std::string* pWhere = nullptr,
                                        const Vars* pSelectArgs = nullptr);
    /// The children, loaded on first use; null when there are none.
    ApAppInstances* getApAppInstances();
    ApAppProperties* getApAppProperty();
    /// The child with that primary key (loaded on first use), or null.
    ApAppInstance* findApAppInstance(Poco::Int32 idApAppInstance);
    ApAppProperty* findApAppProperty(Poco::Int32 idApAppProperty);

    /// Marks `instance` new, makes this app its (not owned) parent, which writes its
    /// id_ap_app, and holds a copy under the instance's current key.
    void addAppInstance(ApAppInstance& instance);
    void addProperty(ApAppProperty& property);

    /// Writes this row, then every held instance, then every held property (inserting
    /// new ones; keys given to inserted rows are appended to `pKeys` when not null).
    /// Rows held by the instances are not written: call their updateAll for that.
    /// Returns the number of rows written.
    Poco::Int32 updateAll(EntityServer& es, AutoIncrementVector* pKeys);

private:
    std::shared_ptr<ApAppInstances> _pApAppInstances;
    std::shared_ptr<ApAppProperties> _pApAppProperties;
};

}  // namespace Orvik::Apps::Entity

namespace Poco::Data
{
template <>
class TypeHandler<Orvik::Apps::Entity::ApApp>
    : public Orvik::Utility::Data::EntityTypeHandler<Orvik::Apps::Entity::ApApp>
{
};
}  // namespace Poco::Data
