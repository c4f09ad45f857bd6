-- Configuration database of the gateway (SQLite): its tables. The apps the gateway ships, with their
-- parameters, are in db/apps.sql, which runs after this script.
--
-- Tables the apps read and write:
--   ap_app                       kinds of app (vendor, app number, type)
--   ap_app_property              parameter definitions of an app
--   ap_app_instance              configured instances of an app on a controller
--   ap_app_property_instance     parameter values stored per instance
--   ap_watchdog                  one watchdog per controller
--   ap_watchdog_shutdown_method  the watchdog's shutdown methods, tried in "order"
-- Tables the apps only read (kept by the host's configuration tools):
--   dv_controller, bn_device, bn_device_object
--
-- Keys are INTEGER PRIMARY KEY (SQLite assigns them on insert). Foreign keys are
-- checked: the host opens the database with PRAGMA foreign_keys = ON.
-- Flags (start_at_startup, start_now, active, internal_use_only) are integers:
-- 0 is off, anything above 0 is on.

-- The controllers this database configures.
CREATE TABLE dv_controller (
    id_dv_controller INTEGER PRIMARY KEY,
    name             TEXT NOT NULL DEFAULT '',
    description      TEXT
);

-- BACnet devices known to a controller. id_bn_gw names the gateway a device is
-- reached through; NULL marks the controller's own devices.
CREATE TABLE bn_device (
    id_bn_device     INTEGER PRIMARY KEY,
    id_dv_controller INTEGER NOT NULL REFERENCES dv_controller (id_dv_controller) ON DELETE CASCADE,
    id_bn_gw         INTEGER,
    name             TEXT NOT NULL DEFAULT '',
    description      TEXT
);
CREATE INDEX bn_device_controller ON bn_device (id_dv_controller);

-- BACnet objects of a device: object type and instance number as ASHRAE 135
-- numbers them (the device object itself has type 8).
CREATE TABLE bn_device_object (
    id_bn_device_object INTEGER PRIMARY KEY,
    id_bn_device        INTEGER NOT NULL REFERENCES bn_device (id_bn_device) ON DELETE CASCADE,
    id_bn_object_type   INTEGER NOT NULL CHECK (id_bn_object_type BETWEEN 0 AND 1023),
    instance_nr         INTEGER NOT NULL CHECK (instance_nr BETWEEN 0 AND 4194303),
    name                TEXT NOT NULL DEFAULT '',
    UNIQUE (id_bn_device, id_bn_object_type, instance_nr)
);

-- Kinds of app. id_vendor is the maker's BACnet vendor identifier, app_id the app
-- number within the vendor; the app manager starts only apps of type 2. The name
-- is also the base of the app's thread name.
CREATE TABLE ap_app (
    id_ap_app   INTEGER PRIMARY KEY,
    id_vendor   INTEGER NOT NULL DEFAULT 0 CHECK (id_vendor BETWEEN 0 AND 65535),
    app_id      INTEGER NOT NULL DEFAULT 0,
    type        INTEGER NOT NULL DEFAULT 0,
    name        TEXT NOT NULL DEFAULT '',
    description TEXT
);

-- Parameter definitions. `id` is the parameter number within the app; apps get
-- their parameters in ascending `id`. A property whose id_parent_property is its
-- own key is a group, not a parameter; every parameter names its group, since a
-- parameter with a NULL id_parent_property is not read. id_bn_datatype holds the
-- BACnet layer's BACnetDataType number, id_bn_app_tag the BACnet application tag,
-- structure 0 single value, 1 array, 2 list. default_value is the value's stored
-- text, used while an instance stores none.
CREATE TABLE ap_app_property (
    id_ap_app_property INTEGER PRIMARY KEY,
    id_parent_property INTEGER REFERENCES ap_app_property (id_ap_app_property),
    id_ap_app          INTEGER NOT NULL REFERENCES ap_app (id_ap_app) ON DELETE CASCADE,
    id                 INTEGER NOT NULL,
    id_bn_datatype     INTEGER NOT NULL,
    id_bn_app_tag      INTEGER NOT NULL,
    structure          INTEGER NOT NULL DEFAULT 0 CHECK (structure BETWEEN 0 AND 2),
    nr_of_elements     INTEGER NOT NULL DEFAULT 1,
    element_length     INTEGER NOT NULL DEFAULT 0,
    access             INTEGER NOT NULL DEFAULT 0,
    name               TEXT NOT NULL DEFAULT '',
    description        TEXT,
    default_value      TEXT NOT NULL DEFAULT '',
    id_bn_eng_unit     INTEGER NOT NULL DEFAULT 95,
    internal_use_only  INTEGER NOT NULL DEFAULT 0,
    UNIQUE (id_ap_app, id)
);

-- Configured app instances. The key is the app instance id every app is
-- constructed with. id_bn_program and id_bn_scheduler optionally name a BACnet
-- program or schedule object the instance belongs to.
CREATE TABLE ap_app_instance (
    id_ap_app_instance INTEGER PRIMARY KEY,
    id_ap_app          INTEGER NOT NULL REFERENCES ap_app (id_ap_app) ON DELETE CASCADE,
    id_dv_controller   INTEGER NOT NULL DEFAULT 1 REFERENCES dv_controller (id_dv_controller),
    instance_nr        INTEGER NOT NULL DEFAULT 1,
    name               TEXT NOT NULL DEFAULT '',
    start_at_startup   INTEGER NOT NULL DEFAULT 0,
    start_now          INTEGER NOT NULL DEFAULT 0,
    id_bn_program      INTEGER REFERENCES bn_device_object (id_bn_device_object) ON DELETE SET NULL,
    id_bn_scheduler    INTEGER REFERENCES bn_device_object (id_bn_device_object) ON DELETE SET NULL,
    UNIQUE (id_ap_app, id_dv_controller, instance_nr)
);
CREATE INDEX ap_app_instance_controller ON ap_app_instance (id_dv_controller);

-- Parameter values stored per instance, as the value's stored text; NULL stands
-- for an empty value. One value per instance and parameter.
CREATE TABLE ap_app_property_instance (
    id_ap_app_property_instance INTEGER PRIMARY KEY,
    id_ap_app_instance          INTEGER NOT NULL REFERENCES ap_app_instance (id_ap_app_instance) ON DELETE CASCADE,
    id_ap_app_property          INTEGER NOT NULL REFERENCES ap_app_property (id_ap_app_property) ON DELETE CASCADE,
    value                       TEXT,
    UNIQUE (id_ap_app_instance, id_ap_app_property)
);
CREATE INDEX ap_app_property_instance_property ON ap_app_property_instance (id_ap_app_property);

-- A stored value must belong to a parameter of its instance's own app.
CREATE TRIGGER ap_app_property_instance_same_app_insert
BEFORE INSERT ON ap_app_property_instance
WHEN (SELECT id_ap_app FROM ap_app_instance WHERE id_ap_app_instance = NEW.id_ap_app_instance)
  IS NOT (SELECT id_ap_app FROM ap_app_property WHERE id_ap_app_property = NEW.id_ap_app_property)
BEGIN
    SELECT RAISE(ABORT, 'ap_app_property_instance: the parameter belongs to another app than the instance');
END;

CREATE TRIGGER ap_app_property_instance_same_app_update
BEFORE UPDATE OF id_ap_app_instance, id_ap_app_property ON ap_app_property_instance
WHEN (SELECT id_ap_app FROM ap_app_instance WHERE id_ap_app_instance = NEW.id_ap_app_instance)
  IS NOT (SELECT id_ap_app FROM ap_app_property WHERE id_ap_app_property = NEW.id_ap_app_property)
BEGIN
    SELECT RAISE(ABORT, 'ap_app_property_instance: the parameter belongs to another app than the instance');
END;

-- One watchdog per controller; active 0 leaves it unused. Periods in seconds.
CREATE TABLE ap_watchdog (
    id_ap_watchdog          INTEGER PRIMARY KEY,
    id_dv_controller        INTEGER NOT NULL UNIQUE REFERENCES dv_controller (id_dv_controller) ON DELETE CASCADE,
    active                  INTEGER NOT NULL DEFAULT 0,
    name                    TEXT NOT NULL DEFAULT '',
    description             TEXT,
    frequency_sec           INTEGER NOT NULL DEFAULT 30 CHECK (frequency_sec BETWEEN 0 AND 4294967295),
    subscribers_timeout_sec INTEGER NOT NULL DEFAULT 10 CHECK (subscribers_timeout_sec BETWEEN 0 AND 4294967295)
);

-- The watchdog's ways to bring the controller down, tried in ascending "order".
-- type: 0 disabled, 1 software, 2 hardware, 3 hard reset, 4 cold boot, 5 daemon
-- shutdown. GPIO line -1: none. gpio_active_state 0: the lines are active low.
CREATE TABLE ap_watchdog_shutdown_method (
    id_ap_watchdog_shutdown_method INTEGER PRIMARY KEY,
    id_ap_watchdog                 INTEGER NOT NULL REFERENCES ap_watchdog (id_ap_watchdog) ON DELETE CASCADE,
    "order"                        INTEGER NOT NULL DEFAULT 0,
    type                           INTEGER NOT NULL DEFAULT 0 CHECK (type BETWEEN 0 AND 5),
    heartbeat_ms                   INTEGER NOT NULL DEFAULT 0 CHECK (heartbeat_ms >= 0),
    timout_shutdown_fail_ms        INTEGER NOT NULL DEFAULT 0 CHECK (timout_shutdown_fail_ms >= 0),
    gpio_heartbeat_hard_reset      INTEGER NOT NULL DEFAULT -1,
    gpio_enable_hard_reset         INTEGER NOT NULL DEFAULT -1,
    gpio_active_state              INTEGER NOT NULL DEFAULT 1
);
CREATE INDEX ap_watchdog_shutdown_method_watchdog ON ap_watchdog_shutdown_method (id_ap_watchdog);

-- The controller this gateway runs on; new app instances default to it.
INSERT INTO dv_controller (id_dv_controller, name, description) VALUES (1, 'gateway', 'this controller');
