#include "Orvik_ZARoveDore/Entities/ApAppPropertyInstance.h"

#include "Orvik_ZARoveDore/Entities/ApAppInstance.h"
#include "Orvik_ZARoveDore/Entities/Names.h"

namespace Orvik::Apps::Entity
{

const Ap::ColNames ApAppPropertyInstance::_colNames{&Names::ID_AP_APP_PROPERTY_INSTANCE,
                                                    &Names::ID_AP_APP_INSTANCE, &Names::ID_AP_APP_PROPERTY,
                                                    &Names::VALUE};

ApAppPropertyInstance::ApAppPropertyInstance(bool setAsNew) : Ap(setAsNew)
{
    setColCount(_colNames.size());
}

const std::string& ApAppPropertyInstance::getTableName() const
{
    return Names::AP_APP_PROPERTY_INSTANCE;
}

const Ap::ColNames& ApAppPropertyInstance::getColNames() const
{
    return _colNames;
}

void ApAppPropertyInstance::setPK(Poco::Int32 pk, bool updateStatus)
{
    setPK2(pk, updateStatus);
}

Poco::Int32 ApAppPropertyInstance::retrieve(Poco::Int32 id, EntityServer& es)
{
    return retrieveByKey(*this, id, es);
}

void ApAppPropertyInstance::setValue(const Orvik::BACnet::ValueContainer& value)
{
    const std::string text = value.getText();
    setVar(_COL_VALUE, text.empty() ? Poco::Dynamic::Var() : Poco::Dynamic::Var(text), true);
}

ApAppInstance* ApAppPropertyInstance::retrieveApAppInstance()
{
    return retrieveParent(_pApAppInstance, _COL_ID_AP_APP_INSTANCE);
}

ApAppInstance* ApAppPropertyInstance::getApAppInstance()
{
    return getParentOnFirstUse(_pApAppInstance, _COL_ID_AP_APP_INSTANCE);
}

void ApAppPropertyInstance::setApAppInstance(ApAppInstance* pApAppInstance)
{
    setParentFromOutside(_pApAppInstance, pApAppInstance, _COL_ID_AP_APP_INSTANCE);
}

}  // namespace Orvik::Apps::Entity
