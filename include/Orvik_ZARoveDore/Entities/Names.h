#pragma once

#include <string>

/// Table and column names of the app and watchdog configuration tables. Row
/// classes and their statements use only these constants. Each column constant is
/// the column name in upper case; ORDER is quoted, since ORDER is an SQL keyword.
namespace Orvik::Apps::Entity::Names
{

extern const std::string AP_APP;
extern const std::string AP_APP_INSTANCE;
extern const std::string AP_APP_PROPERTY;
extern const std::string AP_APP_PROPERTY_INSTANCE;
extern const std::string AP_WATCHDOG;
extern const std::string AP_WATCHDOG_SHUTDOWN_METHOD;

extern const std::string ACCESS;
extern const std::string ACTIVE;
extern const std::string APP_ID;
extern const std::string DEFAULT_VALUE;
extern const std::string DESCRIPTION;
extern const std::string ELEMENT_LENGTH;
extern const std::string FREQUENCY_SEC;
extern const std::string GPIO_ACTIVE_STATE;
extern const std::string GPIO_ENABLE_HARD_RESET;
extern const std::string GPIO_HEARTBEAT_HARD_RESET;
extern const std::string HEARTBEAT_MS;
extern const std::string ID;
extern const std::string ID_AP_APP;
extern const std::string ID_AP_APP_INSTANCE;
extern const std::string ID_AP_APP_PROPERTY;
extern const std::string ID_AP_APP_PROPERTY_INSTANCE;
extern const std::string ID_AP_WATCHDOG;
extern const std::string ID_AP_WATCHDOG_SHUTDOWN_METHOD;
extern const std::string ID_BN_APP_TAG;
extern const std::string ID_BN_DATATYPE;
extern const std::string ID_BN_ENG_UNIT;
extern const std::string ID_BN_PROGRAM;
extern const std::string ID_BN_SCHEDULER;
extern const std::string ID_DV_CONTROLLER;
extern const std::string ID_PARENT_PROPERTY;
extern const std::string ID_VENDOR;
extern const std::string INSTANCE_NR;
extern const std::string INTERNAL_USE_ONLY;
extern const std::string NAME;
extern const std::string NR_OF_ELEMENTS;
extern const std::string ORDER;
extern const std::string START_AT_STARTUP;
extern const std::string START_NOW;
extern const std::string STRUCTURE;
extern const std::string SUBSCRIBERS_TIMEOUT_SEC;
extern const std::string TIMOUT_SHUTDOWN_FAIL_MS;
extern const std::string TYPE;
extern const std::string VALUE;

}  // namespace Orvik::Apps::Entity::Names
