-- The demo configuration: run after db/schema.sql on a new database. The gateway program does that
-- for its built-in demo (orvik-gateway --demo), on the simulated demo site (sites/demo.json):
--   1001    the gateway's own BACnet device (a trend log of its CPU temperature)
--   2001    AHU-1 controller, 3001 energy meter, 266771 lab controller (trend log 22, analog
--           inputs 47 and 48, a pulse converter, a door contact on binary input 1)
-- The demo servers listen on loopback: FTP on port 21021 (user demo, password demo), MQTT on port
-- 18830 (scripts/demo starts both).
--
-- Each app adds its own section below. App instance ids: the app number followed by 01 (app 8 ->
-- 801, app 500 -> 50001); stored values name the parameter by its fixed id_ap_app_property.

-- The controller's own BACnet device (not behind a gateway): the apps' own device instance.
INSERT INTO bn_device (id_bn_device, id_dv_controller, id_bn_gw, name, description)
    VALUES (1, 1, NULL, 'Orvik Gateway', 'the gateway''s own BACnet device');
INSERT INTO bn_device_object (id_bn_device_object, id_bn_device, id_bn_object_type, instance_nr, name)
    VALUES (1, 1, 8, 1001, 'Orvik Gateway');

-- Diagnostic apps: each runs once at start and prints what it reads.
INSERT INTO ap_app_instance (id_ap_app_instance, id_ap_app, id_dv_controller, instance_nr, name, start_at_startup)
    VALUES (201, 2, 1, 1, 'Who-Is, whole network', 1),
           (101, 1, 1, 1, 'Lab internal temperature', 1),
           (401, 4, 1, 1, 'Lab trend log 22, all properties', 1),
           (601, 6, 1, 1, 'Lab trend log 22, records', 1),
           (501, 5, 1, 1, 'Device browser', 0);
-- ReadProperty: present-value (85) of analog input (0) 47 of the lab controller.
INSERT INTO ap_app_property_instance (id_ap_app_instance, id_ap_app_property, value)
    VALUES (101, 101, '266771'), (101, 102, '0'), (101, 103, '47'), (101, 104, '85');

-- COV subscription: the lab controller's temperatures, pulse count and door, renewed every minute.
INSERT INTO ap_app_instance (id_ap_app_instance, id_ap_app, id_dv_controller, instance_nr, name, start_at_startup)
    VALUES (801, 8, 1, 1, 'Lab display', 1);
INSERT INTO ap_app_property_instance (id_ap_app_instance, id_ap_app_property, value)
    VALUES (801, 802, '120'),
           (801, 804, '[device:266771/analog-input:47, device:266771/analog-input:48, device:266771/pulse-converter:1, device:266771/binary-input:1]');

-- Binary output toggler on the lab controller's binary output 2 (not started: a stress app; set
-- start_now to 1 to watch it).
INSERT INTO ap_app_instance (id_ap_app_instance, id_ap_app, id_dv_controller, instance_nr, name, start_at_startup)
    VALUES (301, 3, 1, 1, 'Lab relay toggler', 0);
INSERT INTO ap_app_property_instance (id_ap_app_instance, id_ap_app_property, value)
    VALUES (301, 301, 'true'), (301, 302, 'device:266771/binary-output:2.present-value');

-- Peripheral manager: waits for the board's peripheral notifications.
INSERT INTO ap_app_instance (id_ap_app_instance, id_ap_app, id_dv_controller, instance_nr, name, start_at_startup)
    VALUES (50101, 501, 1, 1, 'Peripherals', 1);

-- Trend log pusher: every trend log of the network, uploaded every minute as XML to the demo FTP
-- server; the trend logs are searched again every 10 minutes. Parameter 43 (positions) is written by
-- the app itself.
INSERT INTO ap_app_instance (id_ap_app_instance, id_ap_app, id_dv_controller, instance_nr, name, start_at_startup)
    VALUES (50001, 500, 1, 1, 'Trend log upload', 1);
INSERT INTO ap_app_property_instance (id_ap_app_instance, id_ap_app_property, value)
    VALUES (50001, 50001, '1'),
           (50001, 50002, 'demo-site'),
           (50001, 50003, 'Orvik demo site'),
           (50001, 50004, 'DEMO'),
           (50001, 50005, 'demo'),
           (50001, 50006, '0'),
           (50001, 50007, '0b01'),
           (50001, 50008, '1'),
           (50001, 50009, '5'),
           (50001, 50010, '0'),
           (50001, 50011, '0'),
           (50001, 50013, 'ftp://127.0.0.1:21021'),
           (50001, 50014, 'demo'),
           (50001, 50015, 'demo'),
           (50001, 50016, ''),
           (50001, 50017, '2'),
           (50001, 50018, '10');

-- Cloud bridge: the demo broker on loopback port 18830 stands in for the platform (a domain that is
-- an IPv4 address names the broker itself), plain MQTT. Published: the gateway's CPU temperature and
-- alarm relay, AHU-1's supply air temperature, setpoint, supply fan and supply air trend log (polled
-- every 30 s), the energy meter; commands may write the AHU-1 setpoint, the supply fan and the relay.
INSERT INTO ap_app_instance (id_ap_app_instance, id_ap_app, id_dv_controller, instance_nr, name, start_at_startup)
    VALUES (50201, 502, 1, 1, 'Cloud bridge', 1);
INSERT INTO ap_app_property_instance (id_ap_app_instance, id_ap_app_property, value)
    VALUES (50201, 50201, 'demoorg'),
           (50201, 50202, '127.0.0.1:18830'),
           (50201, 50203, 'OrvikGateway'),
           (50201, 50204, 'demo-gateway'),
           (50201, 50206, 'demo-token'),
           (50201, 50207, 'false'),
           (50201, 50208, '240'),
           (50201, 50209, '30'),
           (50201, 50210, '[device:1001/analog-value:1, device:1001/binary-value:1, device:2001/analog-input:1, device:2001/analog-value:1, device:2001/binary-output:1, device:2001/trend-log:1, device:3001/accumulator:1]'),
           (50201, 50211, '[device:1001/binary-value:1, device:2001/analog-value:1, device:2001/binary-output:1]');
