#pragma once

#include "Orvik_ZARoveDore/Entities/Ap.h"
#include "Orvik_ZARoveDore/Entities/ParentLink.h"

namespace Orvik::Apps::Entity
{

class ApApp;

/// A row of ap_app_property: the definition of one parameter of an app (its
/// number `id` within the app, BACnet datatype and application tag, structure,
/// default value, engineering unit). A property that is its own parent
/// (id_parent_property equal to its key) is a group, not a parameter.
///
/// Parent: its app (foreign key column 2), as for ApAppInstance. A new row gets
/// no defaults of its own; the table's defaults apply to columns left unset.
class ApAppProperty : public Ap
{
public:
    static const ColNames _colNames;
    static constexpr std::size_t _COL_ID_AP_APP_PROPERTY = 0;
    static constexpr std::size_t _COL_ID_PARENT_PROPERTY = 1;
    static constexpr std::size_t _COL_ID_AP_APP = 2;
    static constexpr std::size_t _COL_ID = 3;
    static constexpr std::size_t _COL_ID_BN_DATATYPE = 4;
    static constexpr std::size_t _COL_ID_BN_APP_TAG = 5;
    static constexpr std::size_t _COL_STRUCTURE = 6;
    static constexpr std::size_t _COL_NR_OF_ELEMENTS = 7;
    static constexpr std::size_t _COL_ELEMENT_LENGTH = 8;
    static constexpr std::size_t _COL_ACCESS = 9;
    static constexpr std::size_t _COL_NAME = 10;
    static constexpr std::size_t _COL_DESCRIPTION = 11;
    static constexpr std::size_t _COL_DEFAULT_VALUE = 12;
    static constexpr std::size_t _COL_ID_BN_ENG_UNIT = 13;
    static constexpr std::size_t _COL_INTERNAL_USE_ONLY = 14;

    explicit ApAppProperty(bool setAsNew = false);

    const std::string& getTableName() const override;
    const ColNames& getColNames() const override;
    void setPK(Poco::Int32 pk, bool updateStatus) override;

    Poco::Int32 retrieve(Poco::Int32 id, EntityServer& es);

    Poco::Int32 getIdApAppProperty() const { return getPK(); }
    void setIdApAppProperty(Poco::Int32 id) { setPK(id, true); }
    Poco::Int32 getIdParentProperty() const { return getInt(_COL_ID_PARENT_PROPERTY); }
    void setIdParentProperty(Poco::Int32 id) { setVar(_COL_ID_PARENT_PROPERTY, id, true); }
    Poco::Int32 getIdApApp() const { return getInt(_COL_ID_AP_APP); }
    void setIdApApp(Poco::Int32 idApApp) { setVar(_COL_ID_AP_APP, idApApp, true); }
    Poco::Int32 getId() const { return getInt(_COL_ID); }
    void setId(Poco::Int32 id) { setVar(_COL_ID, id, true); }
    Poco::Int32 getIdBnDatatype() const { return getInt(_COL_ID_BN_DATATYPE); }
    void setIdBnDatatype(Poco::Int32 datatype) { setVar(_COL_ID_BN_DATATYPE, datatype, true); }
    Poco::Int32 getIdBnAppTag() const { return getInt(_COL_ID_BN_APP_TAG); }
    void setIdBnAppTag(Poco::Int32 appTag) { setVar(_COL_ID_BN_APP_TAG, appTag, true); }
    Poco::Int32 getStructure() const { return getInt(_COL_STRUCTURE); }
    void setStructure(Poco::Int32 structure) { setVar(_COL_STRUCTURE, structure, true); }
    Poco::Int32 getNrOfElements() const { return getInt(_COL_NR_OF_ELEMENTS); }
    void setNrOfElements(Poco::Int32 count) { setVar(_COL_NR_OF_ELEMENTS, count, true); }
    Poco::Int32 getElementLength() const { return getInt(_COL_ELEMENT_LENGTH); }
    void setElementLength(Poco::Int32 length) { setVar(_COL_ELEMENT_LENGTH, length, true); }
    Poco::Int32 getAccess() const { return getInt(_COL_ACCESS); }
    void setAccess(Poco::Int32 access) { setVar(_COL_ACCESS, access, true); }
    std::string getName() const { return getString(_COL_NAME); }
    void setName(const std::string& name) { setVar(_COL_NAME, name, true); }
    std::string getDescription() const { return getString(_COL_DESCRIPTION); }
    void setDescription(const std::string& description) { setVar(_COL_DESCRIPTION, description, true); }
    std::string getDefaultValue() const { return getString(_COL_DEFAULT_VALUE); }
    void setDefaultValue(const std::string& text) { setVar(_COL_DEFAULT_VALUE, text, true); }
    Poco::Int32 getIdBnEngUnit() const { return getInt(_COL_ID_BN_ENG_UNIT); }
    void setIdBnEngUnit(Poco::Int32 unit) { setVar(_COL_ID_BN_ENG_UNIT, unit, true); }
    Poco::Int32 getInternalUseOnly() const { return getInt(_COL_INTERNAL_USE_ONLY); }
    void setInternalUseOnly(Poco::Int32 internal) { setVar(_COL_INTERNAL_USE_ONLY, internal, true); }

    ApApp* retrieveApApp();
    ApApp* getApApp();
    void setApApp(ApApp* pApApp);

private:
    ParentLink<ApApp> _pApApp;
};

}  // namespace Orvik::Apps::Entity

namespace Poco::Data
{
template <>
class TypeHandler<Orvik::Apps::Entity::ApAppProperty>
    : public Orvik::Utility::Data::EntityTypeHandler<Orvik::Apps::Entity::ApAppProperty>
{
};
}  // namespace Poco::Data
