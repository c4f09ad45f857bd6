#include "Orvik_ZARoveDore/AppBase.h"

#include <Poco/AutoPtr.h>
#include <Poco/Data/Statement.h>
#include <Poco/Exception.h>

#include <exception>

#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_Utility/Data/TeskDbSession.h"
#include "Orvik_Utility/LboLogSystem.h"
#include "Orvik_Utility/TerminalModifier.h"
#include "Orvik_ZARoveDore/AppManager.h"
#include "Orvik_ZARoveDore/NotificationAppTermination.h"

namespace Orvik::BACnet::App
{

namespace
{

using namespace Poco::Data::Keywords;
using Orvik::Utility::LboLogSystem;
using Orvik::Utility::Message2;
using Orvik::Utility::Terminal::Modifier;

// The stored values are joined for the requesting instance only: with several instances of one
// app, each reads its own values and never another instance's.
const std::string READ_QUERY_HEAD =
    "SELECT "
    "a.id,IFNULL(b.id_ap_app_property_instance,-1),IFNULL(b.value,''),a.id_bn_datatype,a.id_bn_app_tag,"
    "a.structure,a.default_value,a.id_bn_eng_unit FROM ap_app_property a LEFT OUTER JOIN "
    "ap_app_property_instance b "
    "ON b.id_ap_app_property=a.id_ap_app_property AND b.id_ap_app_instance=? "
    "WHERE a.id_ap_app=(SELECT id_ap_app FROM ap_app_instance WHERE id_ap_app_instance=?)";
const std::string READ_QUERY_ONE_PROPERTY = " AND a.id=?";
const std::string READ_QUERY_TAIL = " AND a.id_ap_app_property <> a.id_parent_property ORDER BY a.id";

const std::string INSERT_STATEMENT =
    "INSERT INTO ap_app_property_instance (id_ap_app_instance,id_ap_app_property,value) VALUES(?,(SELECT "
    "c.id_ap_app_property FROM ap_app a, ap_app_instance b, ap_app_property c WHERE  c.id_ap_app=a.id_ap_app "
    "AND "
    "b.id_ap_app=a.id_ap_app AND b.id_ap_app_instance=? AND c.id=?),?)";

const std::string UPDATE_STATEMENT =
    "UPDATE ap_app_property_instance SET value=? WHERE id_ap_app_instance=? AND id_ap_app_property=(SELECT "
    "c.id_ap_app_property FROM ap_app a, ap_app_instance b, ap_app_property c WHERE c.id_ap_app=a.id_ap_app "
    "AND "
    "b.id_ap_app=a.id_ap_app AND b.id_ap_app_instance=? AND c.id=?)";

const std::string OWN_DEVICE_QUERY =
    "SELECT b.instance_nr FROM bn_device a,bn_device_object b, ap_app_instance c WHERE "
    "b.id_bn_device=a.id_bn_device "
    "AND a.id_bn_gw IS NULL AND b.id_bn_object_type=8 AND a.id_dv_controller=c.id_dv_controller AND "
    "c.id_ap_app_instance=? ORDER BY 1 LIMIT 1";

const Poco::UInt32 WHOLE_VALUE = 0xFFFFFFFF;
const Poco::UInt32 ARRAY_COUNT = 0;

std::string arrayIndexText(Poco::UInt32 arrayIndex)
{
    if (arrayIndex == Client::DataPropertyRef::_ARRAY_INDEX_NONE)
    {
        return "ALL";
    }
    return arrayIndex == ARRAY_COUNT ? "COUNT" : std::to_string(arrayIndex);
}

void logParameterWriteFailure(const std::exception& failure, int line)
{
    LboLogSystem::pLogger->log(
        Message2(Message2::_CODE_PARAMETER_WRITE_FAILED, failure.what(), __FILE__, line));
}

}  // namespace

AppManager* AppBase::_pAppManager = nullptr;

AppBase::AppBase(Poco::Int32 aIdAppInstance) : idAppInstance(aIdAppInstance) {}

AppBase::~AppBase() = default;

void AppBase::run()
{
    workerStarted();
    const bool restart = runBody();
    Poco::NotificationQueue* pQueueAppManager = getQueueAppManager();
    if (pQueueAppManager == nullptr)
    {
        // The manager is gone (this thread outlived its stop): there is nobody to report to.
        return;
    }
    // The last touch of this object: the manager may delete it as soon as the report is queued.
    pQueueAppManager->enqueueNotification(new NotificationAppTermination(this, restart));
}

bool AppBase::runBody()
{
    try
    {
        return descRun();
    }
    catch (const Poco::Exception& failure)
    {
        logAppException(failure.displayText());
    }
    catch (const std::exception& failure)
    {
        logAppException(failure.what());
    }
    catch (...)
    {
        logAppException(LboLogSystem::EXCEPTION_UNKNOWN);
    }
    // No restart after a failure: its cause (usually the configuration) does not mend itself, and an
    // immediate restart would fail again and again.
    return false;
}

void AppBase::logAppException(const std::string& text)
{
    LboLogSystem::pLogger->log(Message2(Message2::_CODE_APP_EXCEPTION, text, __FILE__, __LINE__));
}

Poco::NotificationQueue* AppBase::getQueueBACnetClient() const
{
    return _pAppManager == nullptr ? nullptr : _pAppManager->getQueueBACnetClient();
}

Poco::NotificationQueue* AppBase::getQueueResponse() const
{
    return getReadQueue();
}

Poco::NotificationQueue* AppBase::getQueueAppManager() const
{
    return _pAppManager == nullptr ? nullptr : _pAppManager->getReadQueue();
}

Poco::UInt32 AppBase::getBACnetServerDeviceInstance() const
{
    return _pAppManager == nullptr ? 0 : _pAppManager->getBACnetServerDeviceInstance();
}

std::vector<DataPropertyValue>& AppBase::getProperties(std::vector<DataPropertyValue>& props) const
{
    return dbGetPropertyInstances(idAppInstance, props, -1);
}

std::vector<ValueContainer>& AppBase::getProperties(std::vector<ValueContainer>& props) const
{
    std::vector<DataPropertyValue> properties;
    getProperties(properties);
    props.clear();
    props.reserve(properties.size());
    for (const DataPropertyValue& property : properties)
    {
        props.push_back(property);
    }
    return props;
}

std::vector<DataPropertyValue>& AppBase::dbGetPropertyInstances(Poco::Int32 appInstance,
                                                                std::vector<DataPropertyValue>& props,
                                                                Poco::Int32 propertyId)
{
    props.clear();
    Poco::Int32 idStored = -1;
    std::string storedText;
    Poco::Int32 datatype = 0;
    Poco::Int32 applicationTag = 0;
    Poco::UInt32 structure = 0;
    std::string defaultText;
    DataPropertyValue property;
    Poco::Data::Statement select(*Orvik::Utility::Data::pDB);
    select << READ_QUERY_HEAD + (propertyId < 0 ? "" : READ_QUERY_ONE_PROPERTY) + READ_QUERY_TAIL,
        into(property.idInstance), into(idStored), into(storedText), into(datatype), into(applicationTag),
        into(structure), into(defaultText), into(property.idEngUnit), use(appInstance), use(appInstance),
        limit(1);
    if (propertyId >= 0)
    {
        select.addBind(use(propertyId));
    }
    while (!select.done())
    {
        if (select.execute() == 0)
        {
            continue;
        }
        property.setText(static_cast<BACnetDataType>(datatype),
                         static_cast<BACNET_APPLICATION_TAG>(applicationTag),
                         idStored >= 0 ? storedText : defaultText, true);
        props.push_back(property);
    }
    return props;
}

Poco::Int32 AppBase::dbGetPropertyInstance(Poco::Int32 appInstance, Poco::Int32 propertyId,
                                           DataPropertyValue& prop)
{
    std::vector<DataPropertyValue> props;
    dbGetPropertyInstances(appInstance, props, propertyId);
    if (!props.empty())
    {
        prop = props.front();
    }
    return static_cast<Poco::Int32>(props.size());
}

Poco::Int32 AppBase::dbGetPropertyInstance(Poco::Int32 appInstance, Poco::Int32 propertyId,
                                           ValueContainer& prop)
{
    DataPropertyValue property;
    const Poco::Int32 rows = dbGetPropertyInstance(appInstance, propertyId, property);
    if (rows > 0)
    {
        prop = property;
    }
    return rows;
}

Poco::Int32 AppBase::dbInsertPropertyInstance(Poco::Int32 appInstance, Poco::Int32 propertyId,
                                              const ValueContainer& value)
{
    try
    {
        std::string text = value.getText();
        Poco::Data::Statement insert(*Orvik::Utility::Data::pDB);
        insert << INSERT_STATEMENT, use(appInstance), use(appInstance), use(propertyId), use(text);
        return static_cast<Poco::Int32>(insert.execute());
    }
    catch (const std::exception& failure)
    {
        logParameterWriteFailure(failure, __LINE__);
        return -1;
    }
}

Poco::Int32 AppBase::dbUpdatePropertyInstance(Poco::Int32 appInstance, Poco::Int32 propertyId,
                                              const ValueContainer& value, Poco::UInt32 arrayIdx)
{
    try
    {
        DataPropertyValue merged;
        if (arrayIdx != WHOLE_VALUE)
        {
            dbGetPropertyInstance(appInstance, propertyId, merged);
            if (!merged.merge(value, arrayIdx))
            {
                return 0;
            }
        }
        // What is written: the whole value, or the stored value with the element (or count) merged in.
        // A new row for a count change gets the resized value too, not the bare count.
        const ValueContainer& written = arrayIdx == WHOLE_VALUE ? value : merged;
        std::string text = written.getText();
        Poco::Data::Statement update(*Orvik::Utility::Data::pDB);
        update << UPDATE_STATEMENT, use(text), use(appInstance), use(appInstance), use(propertyId);
        if (update.execute() > 0)
        {
            return 0;
        }
        if (arrayIdx == WHOLE_VALUE || arrayIdx == ARRAY_COUNT)
        {
            return dbInsertPropertyInstance(appInstance, propertyId, written);
        }
        return 0;
    }
    catch (const std::exception& failure)
    {
        logParameterWriteFailure(failure, __LINE__);
        return -1;
    }
}

Poco::UInt32 AppBase::dbGetParentBACnetDeviceInstance(Poco::Int32 appInstance)
{
    Poco::UInt32 deviceInstance = 0;
    Poco::Data::Statement select(*Orvik::Utility::Data::pDB);
    select << OWN_DEVICE_QUERY, into(deviceInstance), use(appInstance), now;
    return deviceInstance;
}

void AppBase::printObjectHeader(std::ostream& stream, DataType::ObjectIdentifier objectIdentifier,
                                const std::string& tabs)
{
    const Poco::UInt32 objectType = objectIdentifier.getObjectType();
    stream << tabs << "(" << objectType << ")" << ProtocolText::objectTypeName(objectType) << "["
           << objectIdentifier.getInstance() << "]:" << std::endl;
}

void AppBase::printPropertyHeader(std::ostream& stream, BACNET_OBJECT_TYPE objType,
                                  const Client::DataPropertyRef& propertyRef, const std::string& tabs)
{
    BACnetDataType dataType = BACNET_DT_NULL;
    BACNET_APPLICATION_TAG appTag = MAX_BACNET_APPLICATION_TAG;
    BACNET_DATATYPE_STRUCTURE structure = BACNET_DTS_SINGLE_VALUE;
    if (!ValueContainer::getValueTypeAndStructure(objType, propertyRef.propertyIdentifier, dataType, appTag,
                                                  structure))
    {
        stream << tabs << "Unknown BACnet property" << std::endl;
        return;
    }
    const Poco::UInt32 propertyId = propertyRef.propertyIdentifier;
    stream << tabs << "(" << propertyId << ")" << ProtocolText::propertyName(propertyId);
    if (structure == BACNET_DTS_SINGLE_VALUE)
    {
        stream << " (SINGLE_VALUE):" << std::endl;
        return;
    }
    stream << "[" << arrayIndexText(propertyRef.arrayIndex) << "]"
           << (structure == BACNET_DTS_ARRAY ? " (ARRAY):" : " (LIST):") << std::endl;
}

void AppBase::printPropertyValue(std::ostream& stream, const ValueContainer& value, const std::string& tabs)
{
    std::string text;
    stream << tabs << Modifier(Modifier::FG_GREEN) << value.getString(text, ",", false)
           << Modifier(Modifier::FG_DEFAULT) << std::endl;
}

void AppBase::printError(std::ostream& stream, const DataError& error, const std::string& tabs)
{
    stream << tabs << Modifier(Modifier::FG_RED) << error.getString() << Modifier(Modifier::FG_DEFAULT)
           << std::endl;
}

}  // namespace Orvik::BACnet::App
