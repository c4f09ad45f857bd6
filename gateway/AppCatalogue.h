#pragma once

#include <Poco/Types.h>

#include <string>
#include <vector>

#include "ValueForm.h"

namespace Orvik::Gateway
{

/// The kinds of app a configuration database knows (ap_app) with their parameters
/// (ap_app_property), read once through the row classes on the host's session
/// (Orvik::Utility::Data::pDB).
///
/// A parameter is addressed by a readable name derived from its ap_app_property.name: lower case,
/// every run of other characters than letters and digits one "-" ("FTP server" -> "ftp-server").
/// Two parameters of one app whose names give the same readable name are told apart by the
/// parameter number ("name-<id>"). Groups (rows that are their own parent) and rows without a group
/// are not parameters, as for the apps themselves.
///
/// Secret parameters are the credentials the apps log in with (the trend log pusher's FTP password, the
/// cloud bridge's authentication token): the configuration command masks them in what it shows and
/// leaves them out of what it exports unless asked.
class AppCatalogue
{
public:
    /// The app numbers (app_id) of the own vendor's apps whose parameters the configuration checks.
    static constexpr Poco::Int32 _TREND_LOG_PUSHER = 500;
    static constexpr Poco::Int32 _CLOUD_BRIDGE = 502;
    static constexpr Poco::Int32 _BROKER_BRIDGE = 503;

    struct Parameter
    {
        Poco::Int32 key = 0;  ///< id_ap_app_property
        Poco::Int32 id = 0;   ///< the parameter number within the app
        std::string name;     ///< the readable name
        std::string description;
        std::string defaultText;
        /// Kept by the app itself (internal_use_only): shown, never exported, left alone by import.
        bool keptByApp = false;
        /// A credential: masked when shown, exported only when asked, kept by an import without it.
        bool secret = false;
        ValueForm form{0, 0, 0};
    };

    struct App
    {
        Poco::Int32 key = 0;  ///< id_ap_app
        Poco::Int32 vendor = 0;
        Poco::Int32 number = 0;  ///< app_id
        std::string name;
        std::string description;
        std::vector<Parameter> parameters;  ///< ascending parameter number

        /// The parameter of that readable name (any letter case), or null.
        const Parameter* findParameter(const std::string& name) const;
        const Parameter* findParameter(Poco::Int32 key) const;
    };

    /// Reads every app and its parameters. Database errors are passed on.
    AppCatalogue();

    /// Ascending by app name.
    const std::vector<App>& apps() const { return _apps; }
    /// The app of that name (any letter case), or null.
    const App* findApp(const std::string& name) const;
    const App* findApp(Poco::Int32 key) const;

    static std::string readableName(const std::string& name);

private:
    static std::vector<Parameter> readParameters(const App& app);
    static bool isSecret(const App& app, Poco::Int32 parameterId);

    std::vector<App> _apps;
};

}  // namespace Orvik::Gateway
