// A gateway that runs only the trend log pusher, as a process of its own, so that a test can kill it
// (SIGKILL) in the middle of an upload and start it again on the same database.
//
// Usage: trendlog_pusher_driver <database file> <site file> <gateway device instance> <attempts>
// Runs the pusher's start-up, then the given number of upload attempts back to back (0: until killed),
// printing "attempt <n> ok" or "attempt <n> failed" after each.

#include <Poco/Exception.h>
#include <Poco/FileStream.h>
#include <Poco/NumberParser.h>
#include <Poco/StreamCopier.h>

#include <iostream>

#include "TrendLogPusherRig.h"

using Orvik::Test::TrendLogPusherRig;

int main(int argc, char** argv)
{
    if (argc != 5)
    {
        std::cerr << "usage: trendlog_pusher_driver <database file> <site file> <gateway instance> <attempts>"
                  << std::endl;
        return 2;
    }
    try
    {
        Poco::FileInputStream siteFile(argv[2]);
        std::string siteText;
        Poco::StreamCopier::copyToString(siteFile, siteText);
        TrendLogPusherRig rig(argv[1], siteText, Poco::NumberParser::parseUnsigned(argv[3]));
        const unsigned attempts = Poco::NumberParser::parseUnsigned(argv[4]);
        auto pPusher = rig.newPusher();
        pPusher->initialise();
        for (unsigned attempt = 1; attempts == 0 || attempt <= attempts; ++attempt)
        {
            const bool ok = pPusher->createAndSendFiles();
            std::cout << "attempt " << attempt << (ok ? " ok" : " failed") << std::endl;
        }
    }
    catch (const Poco::Exception& e)
    {
        std::cerr << e.displayText() << std::endl;
        return 1;
    }
    return 0;
}
