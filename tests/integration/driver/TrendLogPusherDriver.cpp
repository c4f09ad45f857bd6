// A gateway that runs only the trend log pusher, as a process of its own, so that a test can kill it
// (SIGKILL) in the middle of an upload and start it again on the same database.
//
// Usage: trendlog_pusher_driver <database file> <site file> <gateway device instance>
// Runs the pusher's start-up, then upload attempts back to back until it is killed.

#include <Poco/Exception.h>
#include <Poco/NumberParser.h>

#include <iostream>

#include "TextFile.h"
#include "TrendLogPusherRig.h"

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        std::cerr << "usage: trendlog_pusher_driver <database file> <site file> <gateway instance>"
                  << std::endl;
        return 2;
    }
    try
    {
        Orvik::Test::TrendLogPusherRig rig(argv[1], Orvik::Test::readFile(argv[2]),
                                           Poco::NumberParser::parseUnsigned(argv[3]));
        auto pPusher = rig.newPusher();
        pPusher->initialise();
        for (;;)
        {
            pPusher->createAndSendFiles();
        }
    }
    catch (const Poco::Exception& e)
    {
        std::cerr << e.displayText() << std::endl;
        return 1;
    }
}
