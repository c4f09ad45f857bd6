#pragma once

#include "Orvik_ZARoveDore/Entities/Ap.h"
#include "Orvik_ZARoveDore/Entities/ParentLink.h"

#include "Orvik_BACnet/ValueContainer.h"

namespace Orvik::Apps::Entity
{

class ApAppInstance;

/// A row of ap_app_property_instance: the value one app instance stores for one
/// parameter, as the value's stored text (ValueContainer::getText), NULL when empty.
///
/// Parent: its app instance (foreign key column 1), as for ApAppInstance's app.
class ApAppPropertyInstance : public Ap
{
public:
    static const ColNames _colNames;
    static constexpr std::size_t _COL_ID_AP_APP_PROPERTY_INSTANCE = 0;
    static constexpr std::size_t _COL_ID_AP_APP_INSTANCE = 1;
    static constexpr std::size_t _COL_ID_AP_APP_PROPERTY = 2;
    static constexpr std::size_t _COL_VALUE = 3;

    explicit ApAppPropertyInstance(bool setAsNew = false);

    const std::string& getTableName() const override;
    const ColNames& getColNames() const override;
    void setPK(Poco::Int32 pk, bool updateStatus) override;

    Poco::Int32 retrieve(Poco::Int32 id, EntityServer& es);

    Poco::Int32 getIdApAppPropertyInstance() const { return getPK(); }
    void setIdApAppPropertyInstance(Poco::Int32 id) { setPK(id, true); }
    Poco::Int32 getIdApAppInstance() const { return getInt(_COL_ID_AP_APP_INSTANCE); }
    void setIdApAppInstance(Poco::Int32 id) { setVar(_COL_ID_AP_APP_INSTANCE, id, true); }
    Poco::Int32 getIdApAppProperty() const { return getInt(_COL_ID_AP_APP_PROPERTY); }
    void setIdApAppProperty(Poco::Int32 id) { setVar(_COL_ID_AP_APP_PROPERTY, id, true); }

    /// The stored text; "" when NULL (isNull(_COL_VALUE) tells the two apart).
    std::string getValue() const { return getString(_COL_VALUE); }
    /// Stores the text as it is.
    void setValue(const std::string& text) { setVar(_COL_VALUE, text, true); }
    /// Stores the value's text; an empty text is stored as NULL.
    void setValue(const Orvik::BACnet::ValueContainer& value);

    ApAppInstance* retrieveApAppInstance();
    ApAppInstance* getApAppInstance();
    void setApAppInstance(ApAppInstance* pApAppInstance);

private:
    ParentLink<ApAppInstance> _pApAppInstance;
};

}  // namespace Orvik::Apps::Entity

namespace Poco::Data
{
template <>
class TypeHandler<Orvik::Apps::Entity::ApAppPropertyInstance>
    : public Orvik::Utility::Data::EntityTypeHandler<Orvik::Apps::Entity::ApAppPropertyInstance>
{
};
}  // namespace Poco::Data
