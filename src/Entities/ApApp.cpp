#include "Orvik_ZARoveDore/Entities/ApApp.h"

#include "Orvik_ZARoveDore/Entities/Names.h"

namespace Orvik::Apps::Entity
{

const Ap::ColNames ApApp::_colNames{&Names::ID_AP_APP, &Names::ID_VENDOR, &Names::APP_ID,
                                    &Names::TYPE,      &Names::NAME,      &Names::DESCRIPTION};

ApApp::ApApp(bool setAsNew) : Ap(setAsNew)
{
    setColCount(_colNames.size());
    if (setAsNew)
    {
        setIdVendor(0);
        setAppId(0);
        setType(0);
    }
}

const std::string& ApApp::getTableName() const
{
    return Names::AP_APP;
}

const Ap::ColNames& ApApp::getColNames() const
{
    return _colNames;
}

void ApApp::setPK(Poco::Int32 pk, bool updateStatus)
{
    setPK2(pk, updateStatus);
    if (_pApAppInstances)
    {
        for (auto& entry : *_pApAppInstances)
        {
            entry.second.setIdApApp(pk);
        }
    }
    if (_pApAppProperties)
    {
        for (auto& entry : *_pApAppProperties)
        {
            entry.second.setIdApApp(pk);
        }
    }
}

Poco::Int32 ApApp::retrieve(Poco::Int32 id, EntityServer& es)
{
    return retrieveByKey(*this, id, es);
}

Poco::Int32 ApApp::retrieveApAppInstances(const std::string* pWhere, const Vars* pSelectArgs)
{
    return retrieveChilds(_pApAppInstances, pWhere, pSelectArgs);
}

Poco::Int32 ApApp::retrieveApAppProperties(const std::string* pWhere, const Vars* pSelectArgs)
{
    return retrieveChilds(_pApAppProperties, pWhere, pSelectArgs);
}

ApApp::ApAppInstances* ApApp::getApAppInstances()
{
    if (!_pApAppInstances)
    {
        retrieveApAppInstances();
    }
    return _pApAppInstances.get();
}

ApApp::ApAppProperties* ApApp::getApAppProperty()
{
    if (!_pApAppProperties)
    {
        retrieveApAppProperties();
    }
    return _pApAppProperties.get();
}

ApAppInstance* ApApp::findApAppInstance(Poco::Int32 idApAppInstance)
{
    getApAppInstances();
    return findChild(_pApAppInstances, idApAppInstance);
}

ApAppProperty* ApApp::findApAppProperty(Poco::Int32 idApAppProperty)
{
    getApAppProperty();
    return findChild(_pApAppProperties, idApAppProperty);
}

void ApApp::addAppInstance(ApAppInstance& instance)
{
    instance.setNew(true);
    instance.setApApp(this);
    storeChild(_pApAppInstances, instance);
}

void ApApp::addProperty(ApAppProperty& property)
{
    property.setNew(true);
    property.setApApp(this);
    storeChild(_pApAppProperties, property);
}

Poco::Int32 ApApp::updateAll(EntityServer& es, AutoIncrementVector* pKeys)
{
    Poco::Int32 written = es.update(*this, pKeys);
    written += updateChilds(_pApAppInstances, es, pKeys);
    written += updateChilds(_pApAppProperties, es, pKeys);
    return written;
}

}  // namespace Orvik::Apps::Entity
