#pragma once

#include <Poco/Types.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "AppCatalogue.h"

namespace Orvik::Gateway
{

/// One app instance of a controller as the configuration command reads it: its row and the values
/// it stores, by parameter key (id_ap_app_property; a NULL value is "").
struct DataConfiguredInstance
{
    Poco::Int32 id = 0;
    const AppCatalogue::App* pApp = nullptr;
    std::string name;
    /// Started when the gateway starts (start_at_startup or start_now).
    bool enabled = false;
    std::map<Poco::Int32, std::string> stored;
};

/// What an instance is to be, as the command line or a configuration document gives it: the app by
/// name and parameter values as readable name and stored text, in the order given.
struct DataInstanceSpec
{
    std::string name;
    std::string app;
    bool enabled = true;
    std::vector<std::pair<std::string, std::string>> parameters;
};

}  // namespace Orvik::Gateway
