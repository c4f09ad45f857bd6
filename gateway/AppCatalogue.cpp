#include "AppCatalogue.h"

#include <Poco/String.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <utility>

#include "Orvik_Utility/Data/EntityServer.h"
#include "Orvik_Utility/Data/TeskDbSession.h"
#include "Orvik_ZARoveDore/AppManager.h"
#include "Orvik_ZARoveDore/Entities/ApApp.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/MqttBridgeSettings.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PusherParameterNames.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BridgeSettings.h"

namespace Orvik::Gateway
{

using Orvik::Apps::Entity::ApApp;
using Orvik::Apps::Entity::ApAppProperty;

namespace
{
/// (app number, parameter number) of every credential among the own vendor's apps.
const std::pair<Poco::Int32, Poco::Int32> SECRET_PARAMETERS[] = {
    {AppCatalogue::_TREND_LOG_PUSHER,
     Orvik::BACnet::App::VendorOrvik::TrendLogPusher::PusherParameterNames::_FTP_PASSWORD},
    {AppCatalogue::_CLOUD_BRIDGE,
     Orvik::BACnet::App::VendorOrvik::WatsonMQTT::BridgeSettings::_AUTHENTICATION_TOKEN},
    {AppCatalogue::_BROKER_BRIDGE,
     Orvik::BACnet::App::VendorOrvik::MqttBridge::MqttBridgeSettings::_PASSWORD}};
}  // namespace

const AppCatalogue::Parameter* AppCatalogue::App::findParameter(const std::string& wanted) const
{
    for (const Parameter& parameter : parameters)
    {
        if (Poco::icompare(parameter.name, wanted) == 0)
            return &parameter;
    }
    return nullptr;
}

const AppCatalogue::Parameter* AppCatalogue::App::findParameter(Poco::Int32 wanted) const
{
    for (const Parameter& parameter : parameters)
    {
        if (parameter.key == wanted)
            return &parameter;
    }
    return nullptr;
}

AppCatalogue::AppCatalogue()
{
    Orvik::Utility::Data::EntityServer server(*Orvik::Utility::Data::pDB);
    std::map<Poco::Int32, ApApp> rows;
    server.retrieve(rows);
    for (const auto& [key, row] : rows)
    {
        App app;
        app.key = key;
        app.vendor = row.getIdVendor();
        app.number = row.getAppId();
        app.name = row.getName();
        app.description = row.getDescription();
        app.parameters = readParameters(app);
        _apps.push_back(std::move(app));
    }
    std::sort(_apps.begin(), _apps.end(),
              [](const App& a, const App& b) { return Poco::icompare(a.name, b.name) < 0; });
}

std::vector<AppCatalogue::Parameter> AppCatalogue::readParameters(const App& app)
{
    ApApp appRow;
    appRow.setPK(app.key, false);
    std::vector<Parameter> parameters;
    if (appRow.retrieveApAppProperties() == 0)
        return parameters;
    for (const auto& [key, row] : *appRow.getApAppProperty())
    {
        if (row.isNull(ApAppProperty::_COL_ID_PARENT_PROPERTY) || row.getIdParentProperty() == key)
            continue;
        Parameter parameter;
        parameter.key = key;
        parameter.id = row.getId();
        parameter.name = readableName(row.getName());
        parameter.description = row.getDescription();
        parameter.defaultText = row.getDefaultValue();
        parameter.keptByApp = row.getInternalUseOnly() > 0;
        parameter.secret = isSecret(app, parameter.id);
        parameter.form = ValueForm(row.getIdBnDatatype(), row.getIdBnAppTag(), row.getStructure());
        parameters.push_back(parameter);
    }
    std::sort(parameters.begin(), parameters.end(),
              [](const Parameter& a, const Parameter& b) { return a.id < b.id; });
    // Names that collide (or are empty) are made unique with the parameter number.
    std::map<std::string, int> uses;
    for (const Parameter& parameter : parameters)
        ++uses[parameter.name];
    for (Parameter& parameter : parameters)
    {
        if (parameter.name.empty() || uses[parameter.name] > 1)
            parameter.name += (parameter.name.empty() ? "parameter-" : "-") + std::to_string(parameter.id);
    }
    return parameters;
}

bool AppCatalogue::isSecret(const App& app, Poco::Int32 parameterId)
{
    return app.vendor == Orvik::BACnet::App::OWN_VENDOR_ID &&
           std::find(std::begin(SECRET_PARAMETERS), std::end(SECRET_PARAMETERS),
                     std::make_pair(app.number, parameterId)) != std::end(SECRET_PARAMETERS);
}

const AppCatalogue::App* AppCatalogue::findApp(const std::string& name) const
{
    for (const App& app : _apps)
    {
        if (Poco::icompare(app.name, name) == 0)
            return &app;
    }
    return nullptr;
}

const AppCatalogue::App* AppCatalogue::findApp(Poco::Int32 key) const
{
    for (const App& app : _apps)
    {
        if (app.key == key)
            return &app;
    }
    return nullptr;
}

std::string AppCatalogue::readableName(const std::string& name)
{
    std::string readable;
    bool pendingDash = false;
    for (unsigned char c : name)
    {
        if (std::isalnum(c))
        {
            if (pendingDash && !readable.empty())
                readable += '-';
            readable += static_cast<char>(std::tolower(c));
            pendingDash = false;
        }
        else
        {
            pendingDash = true;
        }
    }
    return readable;
}

}  // namespace Orvik::Gateway
