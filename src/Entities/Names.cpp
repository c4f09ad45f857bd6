#include "Orvik_ZARoveDore/Entities/Names.h"

namespace Orvik::Apps::Entity::Names
{

const std::string AP_APP = "ap_app";
const std::string AP_APP_INSTANCE = "ap_app_instance";
const std::string AP_APP_PROPERTY = "ap_app_property";
const std::string AP_APP_PROPERTY_INSTANCE = "ap_app_property_instance";
const std::string AP_WATCHDOG = "ap_watchdog";
const std::string AP_WATCHDOG_SHUTDOWN_METHOD = "ap_watchdog_shutdown_method";
const std::string ACCESS = "access";
const std::string ACTIVE = "active";
const std::string APP_ID = "app_id";
const std::string DEFAULT_VALUE = "default_value";
const std::string DESCRIPTION = "description";
const std::string ELEMENT_LENGTH = "element_length";
const std::string FREQUENCY_SEC = "frequency_sec";
const std::string GPIO_ACTIVE_STATE = "gpio_active_state";
const std::string GPIO_ENABLE_HARD_RESET = "gpio_enable_hard_reset";
const std::string GPIO_HEARTBEAT_HARD_RESET = "gpio_heartbeat_hard_reset";
const std::string HEARTBEAT_MS = "heartbeat_ms";
const std::string ID = "id";
const std::string ID_AP_APP = "id_ap_app";
const std::string ID_AP_APP_INSTANCE = "id_ap_app_instance";
const std::string ID_AP_APP_PROPERTY = "id_ap_app_property";
const std::string ID_AP_APP_PROPERTY_INSTANCE = "id_ap_app_property_instance";
const std::string ID_AP_WATCHDOG = "id_ap_watchdog";
const std::string ID_AP_WATCHDOG_SHUTDOWN_METHOD = "id_ap_watchdog_shutdown_method";
const std::string ID_BN_APP_TAG = "id_bn_app_tag";
const std::string ID_BN_DATATYPE = "id_bn_datatype";
const std::string ID_BN_ENG_UNIT = "id_bn_eng_unit";
const std::string ID_BN_PROGRAM = "id_bn_program";
const std::string ID_BN_SCHEDULER = "id_bn_scheduler";
const std::string ID_DV_CONTROLLER = "id_dv_controller";
const std::string ID_PARENT_PROPERTY = "id_parent_property";
const std::string ID_VENDOR = "id_vendor";
const std::string INSTANCE_NR = "instance_nr";
const std::string INTERNAL_USE_ONLY = "internal_use_only";
const std::string NAME = "name";
const std::string NR_OF_ELEMENTS = "nr_of_elements";
const std::string ORDER = "\"order\"";
const std::string START_AT_STARTUP = "start_at_startup";
const std::string START_NOW = "start_now";
const std::string STRUCTURE = "structure";
const std::string SUBSCRIBERS_TIMEOUT_SEC = "subscribers_timeout_sec";
const std::string TIMOUT_SHUTDOWN_FAIL_MS = "timout_shutdown_fail_ms";
const std::string TYPE = "type";
const std::string VALUE = "value";

}  // namespace Orvik::Apps::Entity::Names
