#include "Orvik_ZARoveDore/Entities/ApAppProperty.h"

#include "Orvik_ZARoveDore/Entities/ApApp.h"
#include "Orvik_ZARoveDore/Entities/Names.h"

namespace Orvik::Apps::Entity
{

const Ap::ColNames ApAppProperty::_colNames{&Names::ID_AP_APP_PROPERTY,
                                            &Names::ID_PARENT_PROPERTY,
                                            &Names::ID_AP_APP,
                                            &Names::ID,
                                            &Names::ID_BN_DATATYPE,
                                            &Names::ID_BN_APP_TAG,
                                            &Names::STRUCTURE,
                                            &Names::NR_OF_ELEMENTS,
                                            &Names::ELEMENT_LENGTH,
                                            &Names::ACCESS,
                                            &Names::NAME,
                                            &Names::DESCRIPTION,
                                            &Names::DEFAULT_VALUE,
                                            &Names::ID_BN_ENG_UNIT,
                                            &Names::INTERNAL_USE_ONLY};

ApAppProperty::ApAppProperty(bool setAsNew) : Ap(setAsNew)
{
    setColCount(_colNames.size());
}

const std::string& ApAppProperty::getTableName() const
{
    return Names::AP_APP_PROPERTY;
}

const Ap::ColNames& ApAppProperty::getColNames() const
{
    return _colNames;
}

void ApAppProperty::setPK(Poco::Int32 pk, bool updateStatus)
{
    setPK2(pk, updateStatus);
}

Poco::Int32 ApAppProperty::retrieve(Poco::Int32 id, EntityServer& es)
{
    return retrieveByKey(*this, id, es);
}

ApApp* ApAppProperty::retrieveApApp()
{
    return retrieveParent(_pApApp, _COL_ID_AP_APP);
}

ApApp* ApAppProperty::getApApp()
{
    return getParentOnFirstUse(_pApApp, _COL_ID_AP_APP);
}

void ApAppProperty::setApApp(ApApp* pApApp)
{
    setParentFromOutside(_pApApp, pApApp, _COL_ID_AP_APP);
}

}  // namespace Orvik::Apps::Entity
