#include "Orvik_ZARoveDore/Entities/ApWatchdog.h"

#include "Orvik_ZARoveDore/Entities/Names.h"

#include <algorithm>

namespace Orvik::Apps::Entity
{

const Ap::ColNames ApWatchdog::_colNames{
    &Names::ID_AP_WATCHDOG, &Names::ID_DV_CONTROLLER,       &Names::ACTIVE, &Names::NAME, &Names::DESCRIPTION,
    &Names::FREQUENCY_SEC,  &Names::SUBSCRIBERS_TIMEOUT_SEC};

ApWatchdog::ApWatchdog(bool setAsNew) : Ap(setAsNew)
{
    setColCount(_colNames.size());
    if (setAsNew)
    {
        setFrequencySec(30);
        setSubscribersTimoutSec(10);
    }
}

const std::string& ApWatchdog::getTableName() const
{
    return Names::AP_WATCHDOG;
}

const Ap::ColNames& ApWatchdog::getColNames() const
{
    return _colNames;
}

void ApWatchdog::setPK(Poco::Int32 pk, bool updateStatus)
{
    setPK2(pk, updateStatus);
    if (_pApWatchdogShutdownMethods)
    {
        for (auto& entry : *_pApWatchdogShutdownMethods)
        {
            entry.second.setIdApWatchdog(pk);
        }
    }
}

Poco::Int32 ApWatchdog::retrieve(Poco::Int32 id, EntityServer& es)
{
    return retrieveByKey(*this, id, es);
}

Poco::Int32 ApWatchdog::retrieve(Poco::Int32 idDvController, EntityServer& es, bool /*shutDownMethods*/,
                                 bool activeOnly)
{
    std::string where = Names::ID_DV_CONTROLLER + "=?";
    if (activeOnly)
    {
        where += " AND " + Names::ACTIVE + "<> 0";
    }
    es.setWhere(where);
    es.clearSelectArgs();
    es.addSelectArg(idDvController);
    const auto count = static_cast<Poco::Int32>(es.retrieve(*this));
    // The methods are read with the watchdog whatever the caller asked: a watchdog
    // without its methods would convert into parameters that cannot shut anything down.
    if (count > 0)
    {
        retrieveApWatchdogShutdownMethods(nullptr, nullptr);
    }
    return count;
}

Poco::Int32 ApWatchdog::retrieveApWatchdogShutdownMethods(const std::string* pWhere, const Vars* pSelectArgs)
{
    return retrieveChilds(_pApWatchdogShutdownMethods, pWhere, pSelectArgs, Names::ORDER);
}

ApWatchdog::ApWatchdogShutdownMethods* ApWatchdog::getApWatchdogShutdownMethods()
{
    if (!_pApWatchdogShutdownMethods)
    {
        retrieveApWatchdogShutdownMethods();
    }
    return _pApWatchdogShutdownMethods.get();
}

ApWatchdogShutdownMethod* ApWatchdog::findApWatchdogShutdownMethod(Poco::Int32 idApWatchdogShutdownMethod)
{
    getApWatchdogShutdownMethods();
    return findChild(_pApWatchdogShutdownMethods, idApWatchdogShutdownMethod);
}

void ApWatchdog::addAppWatchdogShutdownMethod(ApWatchdogShutdownMethod& method)
{
    method.setNew(true);
    method.setApWatchdog(this);
    storeChild(_pApWatchdogShutdownMethods, method);
}

Poco::Int32 ApWatchdog::updateAll(EntityServer& es, AutoIncrementVector* pKeys)
{
    return es.update(*this, pKeys) + updateChilds(_pApWatchdogShutdownMethods, es, pKeys);
}

ApWatchdog::operator Orvik::Utility::Watchdog::Parameters() const
{
    Orvik::Utility::Watchdog::Parameters parameters(getFrequencySec(), getSubscribersTimoutSec(),
                                                    Orvik::Utility::Data::pDB);
    if (!_pApWatchdogShutdownMethods)
    {
        return parameters;
    }
    std::vector<const ApWatchdogShutdownMethod*> methods;
    for (const auto& entry : *_pApWatchdogShutdownMethods)
    {
        methods.push_back(&entry.second);
    }
    // The map runs by key; stable sorting by "order" keeps equal orders by key.
    std::stable_sort(methods.begin(), methods.end(),
                     [](const auto* a, const auto* b) { return a->getOrder() < b->getOrder(); });
    for (const auto* pMethod : methods)
    {
        parameters.addShutdownMethod(*pMethod);
    }
    return parameters;
}

}  // namespace Orvik::Apps::Entity
