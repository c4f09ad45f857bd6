#include "ParameterRules.h"

#include "Orvik_ZARoveDore/AppManager.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/MqttBridgeSettings.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DocumentUpload.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PusherParameterNames.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BridgeSettings.h"

namespace Orvik::Gateway
{

namespace
{

using Orvik::BACnet::App::VendorOrvik::MqttBridge::MqttBridgeSettings;
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DocumentUpload;
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::PusherParameterNames;
using Orvik::BACnet::App::VendorOrvik::WatsonMQTT::BridgeSettings;

std::string pusherForm(Poco::Int32 number)
{
    switch (number)
    {
        case PusherParameterNames::_FILE_NAME_INITIALS:
            return "a text of up to " + std::to_string(DocumentUpload::_MAX_FILE_NAME_INITIALS) +
                   " octets without CR, LF, NUL, \"/\", \"\\\" or \"..\", for example HALL-A";
        case PusherParameterNames::_FTP_SERVER:
            return "an ftp://, ftps:// or sftp://[user@] address with a host, for example "
                   "ftps://ftp.example.com:21 or sftp://site7@sftp.example.com/uploads";
        default:
            return "a text without CR, LF or NUL, for example uploads";
    }
}

std::string brokerBridgeForm(Poco::Int32 number)
{
    switch (number)
    {
        case MqttBridgeSettings::_BROKER_URL:
            return "a broker URL, for example mqtts://broker.example.com:8883";
        case MqttBridgeSettings::_TOPIC_PREFIX:
            return "topic levels separated by \"/\", for example site-7/bacnet";
        default:
            return "a text without \"/\", \"+\", \"#\" or control characters, for example gateway-7";
    }
}

}  // namespace

std::optional<ParameterRules::Refusal> ParameterRules::check(const AppCatalogue::App& app,
                                                             const AppCatalogue::Parameter& parameter,
                                                             const std::string& text)
{
    if (text.empty() || app.vendor != Orvik::BACnet::App::OWN_VENDOR_ID)
        return std::nullopt;
    Refusal refusal;
    if (app.number == AppCatalogue::_TREND_LOG_PUSHER)
    {
        refusal.problem = DocumentUpload::problemWith(parameter.id, text);
        refusal.expected = pusherForm(parameter.id);
        refusal.hidesText =
            parameter.id == PusherParameterNames::_FTP_SERVER && DocumentUpload::holdsPassword(text);
    }
    else if (app.number == AppCatalogue::_CLOUD_BRIDGE)
    {
        refusal.problem = BridgeSettings::problemWith(parameter.id, text);
        refusal.expected = "a text without \"/\", \"+\", \"#\" or control characters, for example gateway-7";
    }
    else if (app.number == AppCatalogue::_BROKER_BRIDGE)
    {
        refusal.problem = MqttBridgeSettings::problemWith(parameter.id, text);
        refusal.expected = brokerBridgeForm(parameter.id);
    }
    if (refusal.problem.empty())
        return std::nullopt;
    return refusal;
}

}  // namespace Orvik::Gateway
