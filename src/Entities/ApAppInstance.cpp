#include "Orvik_ZARoveDore/Entities/ApAppInstance.h"

#include "Orvik_ZARoveDore/Entities/ApApp.h"
#include "Orvik_ZARoveDore/Entities/Names.h"

namespace Orvik::Apps::Entity
{

const Ap::ColNames ApAppInstance::_colNames{
    &Names::ID_AP_APP_INSTANCE, &Names::ID_AP_APP,     &Names::ID_DV_CONTROLLER,
    &Names::INSTANCE_NR,        &Names::NAME,          &Names::START_AT_STARTUP,
    &Names::START_NOW,          &Names::ID_BN_PROGRAM, &Names::ID_BN_SCHEDULER};

ApAppInstance::ApAppInstance(bool setAsNew) : Ap(setAsNew)
{
    setColCount(_colNames.size());
    if (setAsNew)
    {
        setIdDvController(1);
        setInstanceNr(1);
        setStartAtStartup(false);
        setStartNow(false);
    }
}

const std::string& ApAppInstance::getTableName() const
{
    return Names::AP_APP_INSTANCE;
}

const Ap::ColNames& ApAppInstance::getColNames() const
{
    return _colNames;
}

void ApAppInstance::setPK(Poco::Int32 pk, bool updateStatus)
{
    setPK2(pk, updateStatus);
    if (_pApAppPropertyInstances)
    {
        for (auto& entry : *_pApAppPropertyInstances)
        {
            entry.second.setIdApAppInstance(pk);
        }
    }
}

Poco::Int32 ApAppInstance::retrieve(Poco::Int32 id, EntityServer& es)
{
    return retrieveByKey(*this, id, es);
}

ApApp* ApAppInstance::retrieveApApp()
{
    return retrieveParent(_pApApp, _COL_ID_AP_APP);
}

ApApp* ApAppInstance::getApApp()
{
    return getParentOnFirstUse(_pApApp, _COL_ID_AP_APP);
}

void ApAppInstance::setApApp(ApApp* pApApp)
{
    setParentFromOutside(_pApApp, pApApp, _COL_ID_AP_APP);
}

Poco::Int32 ApAppInstance::retrieveApAppPropertyInstances(const std::string* pWhere, const Vars* pSelectArgs)
{
    return retrieveChilds(_pApAppPropertyInstances, pWhere, pSelectArgs);
}

ApAppInstance::ApAppPropertyInstances* ApAppInstance::getApAppPropertyInstances()
{
    if (!_pApAppPropertyInstances)
    {
        retrieveApAppPropertyInstances();
    }
    return _pApAppPropertyInstances.get();
}

ApAppPropertyInstance* ApAppInstance::findApAppPropertyInstance(Poco::Int32 idApAppPropertyInstance)
{
    getApAppPropertyInstances();
    return findChild(_pApAppPropertyInstances, idApAppPropertyInstance);
}

void ApAppInstance::addPropertyInstance(ApAppPropertyInstance& propertyInstance)
{
    propertyInstance.setNew(true);
    propertyInstance.setApAppInstance(this);
    storeChild(_pApAppPropertyInstances, propertyInstance);
}

Poco::Int32 ApAppInstance::updateAll(EntityServer& es, AutoIncrementVector* pKeys)
{
    return es.update(*this, pKeys) + updateChilds(_pApAppPropertyInstances, es, pKeys);
}

}  // namespace Orvik::Apps::Entity
