// A gateway that runs only the MQTT bridge (MqttBridgeRig), as a process of its own, so that a test can
// kill it (SIGKILL) during an outage of the broker and start it again on the same database.
//
// Usage: mqtt_bridge_driver <database file> <broker URI> <reconnect wait in ms>
// Runs until it is killed.

#include <Poco/Exception.h>
#include <Poco/NumberParser.h>
#include <Poco/Thread.h>

#include <iostream>

#include "MqttBridgeRig.h"

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        std::cerr << "usage: mqtt_bridge_driver <database file> <broker URI> <reconnect wait in ms>"
                  << std::endl;
        return 2;
    }
    try
    {
        Orvik::Test::MqttBridgeRig rig(argv[1], argv[2], {});
        rig.start(Poco::NumberParser::parse(argv[3]));
        for (;;)
        {
            Poco::Thread::sleep(1000);
        }
    }
    catch (const Poco::Exception& e)
    {
        std::cerr << e.displayText() << std::endl;
        return 1;
    }
}
