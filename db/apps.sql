-- ============================================================================
-- App definitions: the catalogue of the apps the gateway ships (SQLite).
--
-- Runs after db/schema.sql when a database is created, and again each time the gateway or its
-- configuration command opens an existing database: a database made by an earlier version so gains
-- the apps and parameters added since. Every statement must therefore be repeatable and change
-- nothing the second time (INSERT OR IGNORE by the fixed keys): rows already there, and every value
-- stored for an instance, stay as they are.
--
-- Every app the gateway ships adds its rows below, in a section of its own:
--   1. its ap_app row with id_vendor 64701 (the gateway's own BACnet vendor
--      identifier), its app number as app_id, type 2, and a fixed id_ap_app;
--   2. one group row in ap_app_property: its own parent (id_parent_property equal
--      to its id_ap_app_property), id 0;
--   3. one ap_app_property row per parameter, id_parent_property naming the group,
--      `id` the parameter number, with datatype, application tag, structure,
--      default_value (stored text) and engineering unit (95: no units).
-- Give fixed keys (id_ap_app, id_ap_app_property), so that db/demo.sql and the
-- configuration tools can refer to them. Instances and stored values belong in
-- db/demo.sql, not here.
--
-- Example of a section:
--   -- App 2: Who-Is
--   INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
--       VALUES (2, 64701, 2, 2, 'AppWhoIs', 'Who-Is over a device range');
--   INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
--       id_bn_datatype, id_bn_app_tag, name, default_value)
--       VALUES (200, 200, 2, 0, 0, 0, 'Who-Is', '');
--   INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
--       id_bn_datatype, id_bn_app_tag, name, default_value)
--       VALUES (201, 200, 2, 1, <datatype>, <tag>, 'low limit', '0');
-- ============================================================================


-- App 500: trend log pusher. Parameters 1 to 18 in the order the app reads them,
-- then 43, the last uploaded position of every trend log (kept by the app itself),
-- and 44, the excluded devices and trend logs.
INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
    VALUES (500, 64701, 500, 2, 'AppTrendLogPusher', 'Uploads the records of the BACnet trend logs to an FTP server');
INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
    id_bn_datatype, id_bn_app_tag, structure, name, description, default_value) VALUES
    (50000, 50000, 500, 0, 0, 0, 0, 'Trend log pusher', NULL, ''),
    (50001, 50000, 500, 1, 2, 2, 0, 'parent identifier', 'document header: parent-identifier', '0'),
    (50002, 50000, 500, 2, 7, 7, 0, 'site identifier', 'document header: site-identifier', ''),
    (50003, 50000, 500, 3, 7, 7, 0, 'site name', 'document header: site-name', ''),
    (50004, 50000, 500, 4, 7, 7, 0, 'file name initials', 'tl_<initials>_<UTC time>.xml', ''),
    (50005, 50000, 500, 5, 7, 7, 0, 'server user id', 'document header: zumbra-user', ''),
    (50006, 50000, 500, 6, 9, 9, 0, 'markup language', '0 XML, 1 JSON, 3 JSONP', '0'),
    (50007, 50000, 500, 7, 8, 8, 0, 'markup flags', 'bit 0: enumerations and bit strings as text, bit 1: formatted', '0b00'),
    (50008, 50000, 500, 8, 2, 2, 0, 'period', 'minutes between uploads, from UTC midnight', '15'),
    (50009, 50000, 500, 9, 2, 2, 0, 'offset', 'seconds after each period boundary', '0'),
    (50010, 50000, 500, 10, 2, 2, 0, 'retry count', 'retries after a failed upload', '3'),
    (50011, 50000, 500, 11, 2, 2, 0, 'retry wait', 'minutes before each retry', '5'),
    (50012, 50000, 500, 12, 8, 8, 0, 'push method', 'reserved', '0b0'),
    (50013, 50000, 500, 13, 7, 7, 0, 'FTP server', 'URI or host[:port]', ''),
    (50014, 50000, 500, 14, 7, 7, 0, 'FTP user', 'empty: no login', ''),
    (50015, 50000, 500, 15, 7, 7, 0, 'FTP password', NULL, ''),
    (50016, 50000, 500, 16, 7, 7, 0, 'FTP directory', 'empty: the login directory', ''),
    (50017, 50000, 500, 17, 9, 9, 0, 'trend logs from', '0 parameter list only, 1 own device, 2 network', '1'),
    (50018, 50000, 500, 18, 2, 2, 0, 'search interval', 'minutes between searches, 0: at start only', '60'),
    (50043, 50000, 500, 43, 1000, 16, 2, 'last uploaded', 'position of every trend log, kept by the app', ''),
    (50044, 50000, 500, 44, 35, 16, 2, 'excluded', 'devices and trend logs that are not uploaded', '');
-- The upload positions are the app's own record, not configuration: configuration tools show them but
-- neither export nor overwrite them.
UPDATE ap_app_property SET internal_use_only = 1 WHERE id_ap_app_property = 50043 AND internal_use_only <> 1;

-- App 502: cloud bridge to the IoT platform over MQTT. A parameter with an empty
-- value counts as not configured: 1, 3, 4, 6 and 7 are required; an empty domain
-- keeps the platform's, an empty method keeps "token". A domain that is
-- "localhost" or an IPv4 address, optionally with ":<port>", names a local broker
-- itself (test and lab setups).
INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
    VALUES (502, 64701, 502, 2, 'AppWatsonMQTT', 'Publishes BACnet values to the IoT platform and carries out its commands');
INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
    id_bn_datatype, id_bn_app_tag, structure, name, description, default_value) VALUES
    (50200, 50200, 502, 0, 0, 0, 0, 'Cloud bridge', NULL, ''),
    (50201, 50200, 502, 1, 7, 7, 0, 'organisation id', 'required', ''),
    (50202, 50200, 502, 2, 7, 7, 0, 'domain', 'empty: the platform''s domain', ''),
    (50203, 50200, 502, 3, 7, 7, 0, 'gateway device type', 'required', ''),
    (50204, 50200, 502, 4, 7, 7, 0, 'gateway device id', 'required', ''),
    (50205, 50200, 502, 5, 7, 7, 0, 'authentication method', 'empty: token', ''),
    (50206, 50200, 502, 6, 7, 7, 0, 'authentication token', 'required', ''),
    (50207, 50200, 502, 7, 1, 1, 0, 'secure port', 'true: 8883 with TLS, false: 1883; required', ''),
    (50208, 50200, 502, 8, 2, 2, 0, 'COV lifetime', 'seconds; 0: subscriptions without time limit', '240'),
    (50209, 50200, 502, 9, 2, 2, 0, 'poll rate', 'seconds between readings of objects without COV; 0: never', '60'),
    (50210, 50200, 502, 10, 35, 16, 2, 'published objects', 'their values go to the platform', ''),
    (50211, 50200, 502, 11, 35, 16, 2, 'commandable objects', 'they accept write commands from the platform', ''),
    (50212, 50200, 502, 12, 2, 2, 0, 'outage queue', 'MB of events kept on disk while the platform is out of reach; 0: none', '10'),
    (50213, 50200, 502, 13, 2, 2, 0, 'rate limit messages', 'value events published per second at most; 0: no limit', '0'),
    (50214, 50200, 502, 14, 2, 2, 0, 'rate limit bytes', 'bytes of value events per second at most; 0: no limit', '0');

-- App 503: bridge to any MQTT broker. One topic per point under the prefix; a parameter
-- with an empty value counts as not configured: 1 is required, the others have defaults.
INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
    VALUES (503, 64701, 503, 2, 'AppMqttBridge', 'Publishes BACnet values to any MQTT broker and carries out its commands');
INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
    id_bn_datatype, id_bn_app_tag, structure, name, description, default_value) VALUES
    (50300, 50300, 503, 0, 0, 0, 0, 'MQTT bridge', NULL, ''),
    (50301, 50300, 503, 1, 7, 7, 0, 'broker URL', 'mqtt://, mqtts://, ws:// or wss:// host[:port]; required', ''),
    (50302, 50300, 503, 2, 7, 7, 0, 'client id', 'empty: orvik-gateway-<own device instance>', ''),
    (50303, 50300, 503, 3, 2, 2, 0, 'keep-alive', 'seconds', '30'),
    (50304, 50300, 503, 4, 1, 1, 0, 'persistent session', 'true: the broker keeps the session, false: clean session', 'false'),
    (50305, 50300, 503, 5, 7, 7, 0, 'user name', 'empty: no credentials', ''),
    (50306, 50300, 503, 6, 7, 7, 0, 'password', NULL, ''),
    (50307, 50300, 503, 7, 7, 7, 0, 'CA file', 'PEM; empty: the system''s trust store', ''),
    (50308, 50300, 503, 8, 7, 7, 0, 'client certificate', 'PEM file; empty: none', ''),
    (50309, 50300, 503, 9, 7, 7, 0, 'client key', 'PEM file of the client certificate''s key', ''),
    (50310, 50300, 503, 10, 7, 7, 0, 'ALPN protocol', 'empty: none offered', ''),
    (50311, 50300, 503, 11, 7, 7, 0, 'topic prefix', '<prefix>/<device>/<object type>/<instance>/<property>', 'bacnet'),
    (50312, 50300, 503, 12, 1, 1, 0, 'retain values', 'true: the broker keeps the last value of each point', 'false'),
    (50313, 50300, 503, 13, 2, 2, 0, 'COV lifetime', 'seconds; 0: subscriptions without time limit', '240'),
    (50314, 50300, 503, 14, 35, 16, 2, 'published objects', 'their values go to the broker', ''),
    (50315, 50300, 503, 15, 35, 16, 2, 'commandable objects', 'they accept write commands from the broker', ''),
    (50316, 50300, 503, 16, 2, 2, 0, 'outage queue', 'MB of values kept on disk while the broker is out of reach; 0: none', '10'),
    (50317, 50300, 503, 17, 2, 2, 0, 'rate limit messages', 'values published per second at most; 0: no limit', '0'),
    (50318, 50300, 503, 18, 2, 2, 0, 'rate limit bytes', 'bytes of values (topic and payload) per second at most; 0: no limit', '0'),
    (50319, 50300, 503, 19, 2, 2, 0, 'poll interval', 'seconds between readings of points whose COV subscription is refused; 0: never', '60');

-- App 2: Who-Is over a device instance range, every I-Am printed on the console.
-- Network 65535 with an empty MAC is the global broadcast.
INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
    VALUES (2, 64701, 2, 2, 'AppWhoIs', 'Who-Is over a device range, every I-Am printed on the console');
INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
    id_bn_datatype, id_bn_app_tag, structure, name, description, default_value) VALUES
    (200, 200, 2, 0, 0, 0, 0, 'Who-Is', NULL, ''),
    (201, 200, 2, 1, 2, 2, 0, 'network number', 'destination network (65535: all networks)', '65535'),
    (202, 200, 2, 2, 7, 7, 0, 'MAC address', 'destination MAC; empty: broadcast', ''),
    (203, 200, 2, 3, 2, 2, 0, 'low limit', 'lowest device instance asked for', '0'),
    (204, 200, 2, 4, 2, 2, 0, 'high limit', 'highest device instance asked for', '4194303');

-- Diagnostic and demo apps (apps 1, 3, 4, 5, 6, 8) and the peripheral manager (501).
-- App 1: one ReadProperty. Parameters 1 to 5 are the property key: device, object
-- type, object instance, property, array index (empty: the whole property).
INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
    VALUES (1, 64701, 1, 2, 'AppRP_OneShot', 'One ReadProperty, result printed on the console');
INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
    id_bn_datatype, id_bn_app_tag, structure, name, description, default_value) VALUES
    (100, 100, 1, 0, 0, 0, 0, 'ReadProperty', NULL, ''),
    (101, 100, 1, 1, 2, 2, 0, 'device instance', 'device that is read', '266771'),
    (102, 100, 1, 2, 9, 9, 0, 'object type', 'object type number (8 device)', '8'),
    (103, 100, 1, 3, 2, 2, 0, 'object instance', NULL, '266771'),
    (104, 100, 1, 4, 9, 9, 0, 'property', 'property identifier number (77 object-name)', '77'),
    (105, 100, 1, 5, 2, 2, 0, 'array index', 'empty: the whole property', '');

-- App 3: binary output toggler. One group of five parameters per relay: enabled,
-- the property, the priority of the first write, (not used), start delay bound (s).
INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
    VALUES (3, 64701, 3, 2, 'AppToggleBinaryOutput', 'Switches binary outputs on and off by WriteProperty');
INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
    id_bn_datatype, id_bn_app_tag, structure, name, description, default_value) VALUES
    (300, 300, 3, 0, 0, 0, 0, 'Binary output toggler', NULL, ''),
    (301, 300, 3, 1, 1, 1, 0, 'relay 1 enabled', NULL, 'false'),
    (302, 300, 3, 2, 36, 16, 0, 'relay 1 property', 'device/object.property that is toggled', ''),
    (303, 300, 3, 3, 2, 2, 0, 'relay 1 first priority', 'priority of the first write (inactive)', '16'),
    (304, 300, 3, 4, 2, 2, 0, 'relay 1 reserved', 'not used', '0'),
    (305, 300, 3, 5, 2, 2, 0, 'relay 1 start delay', 'the first switch-on comes within this many seconds', '5'),
    (306, 300, 3, 6, 1, 1, 0, 'relay 2 enabled', NULL, 'false'),
    (307, 300, 3, 7, 36, 16, 0, 'relay 2 property', 'device/object.property that is toggled', ''),
    (308, 300, 3, 8, 2, 2, 0, 'relay 2 first priority', 'priority of the first write (inactive)', '16'),
    (309, 300, 3, 9, 2, 2, 0, 'relay 2 reserved', 'not used', '0'),
    (310, 300, 3, 10, 2, 2, 0, 'relay 2 start delay', 'the first switch-on comes within this many seconds', '5');

-- App 4: one ReadPropertyMultiple (all properties of trend log 22 of device
-- 266771). No parameters.
INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
    VALUES (4, 64701, 4, 2, 'AppRPM', 'One ReadPropertyMultiple, results printed on the console');
INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
    id_bn_datatype, id_bn_app_tag, structure, name, description, default_value) VALUES
    (400, 400, 4, 0, 0, 0, 0, 'ReadPropertyMultiple', NULL, '');

-- App 5: device browser (every property of every object of every device). No
-- parameters.
INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
    VALUES (5, 64701, 5, 2, 'AppBrowser', 'Lists every device with all its objects and properties');
INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
    id_bn_datatype, id_bn_app_tag, structure, name, description, default_value) VALUES
    (500, 500, 5, 0, 0, 0, 0, 'Device browser', NULL, '');

-- App 6: ReadRange of the log buffer of trend log 22 of device 266771. No
-- parameters.
INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
    VALUES (6, 64701, 6, 2, 'AppRR', 'Pages through a trend log buffer with ReadRange');
INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
    id_bn_datatype, id_bn_app_tag, structure, name, description, default_value) VALUES
    (600, 600, 6, 0, 0, 0, 0, 'ReadRange', NULL, '');

-- App 8: COV subscription with the small-display demo.
INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
    VALUES (8, 64701, 8, 2, 'AppSubscribeCOV', 'Subscribes to COV notifications and shows them');
INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
    id_bn_datatype, id_bn_app_tag, structure, name, description, default_value) VALUES
    (800, 800, 8, 0, 0, 0, 0, 'COV subscription', NULL, ''),
    (801, 800, 8, 1, 1, 1, 0, 'confirmed', 'confirmed notifications', 'false'),
    (802, 800, 8, 2, 2, 2, 0, 'lifetime', 'seconds; renewed at half; 0 without time limit', '300'),
    (803, 800, 8, 3, 4, 4, 0, 'COV increment', 'empty: the objects'' own', ''),
    (804, 800, 8, 4, 35, 16, 2, 'objects', 'the subscribed objects, [device:<n>/<object>, ...]', '');

-- App 501: peripheral manager. Its four parameters are reserved.
INSERT OR IGNORE INTO ap_app (id_ap_app, id_vendor, app_id, type, name, description)
    VALUES (501, 64701, 501, 2, 'AppFerroManager', 'Manages the controller''s peripherals');
INSERT OR IGNORE INTO ap_app_property (id_ap_app_property, id_parent_property, id_ap_app, id,
    id_bn_datatype, id_bn_app_tag, structure, name, description, default_value) VALUES
    (50100, 50100, 501, 0, 0, 0, 0, 'Peripheral manager', NULL, ''),
    (50101, 50100, 501, 1, 2, 2, 0, 'reserved 1', 'not used yet', '0'),
    (50102, 50100, 501, 2, 2, 2, 0, 'reserved 2', 'not used yet', '0'),
    (50103, 50100, 501, 3, 2, 2, 0, 'reserved 3', 'not used yet', '0'),
    (50104, 50100, 501, 4, 2, 2, 0, 'reserved 4', 'not used yet', '0');
