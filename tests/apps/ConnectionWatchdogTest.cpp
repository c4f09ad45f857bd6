// The watchdog that bounds a blocking call of a library on a socket: a call that outlasts the time-out
// finds the socket shut down; one that returns in time leaves it alone, also across many calls.

#include <gtest/gtest.h>

#include <Poco/Thread.h>

#include <sys/socket.h>
#include <unistd.h>

#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/ConnectionWatchdog.h"

using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::ConnectionWatchdog;

TEST(ConnectionWatchdog, ShutsTheSocketDownOnlyWhenACallOutlastsTheTimeOut)
{
    const long timeoutMs = 200;  // far above a call of timeoutMs / 20, also on a loaded machine
    struct Case
    {
        const char* what;
        int calls;  // armed, then disarmed after callMs
        long callMs;
        bool shutDown;
    };
    const Case cases[] = {{"calls within the time-out", 10, timeoutMs / 20, false},
                          {"a call that outlasts it", 1, timeoutMs * 3, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        int sockets[2];
        ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets));
        {
            ConnectionWatchdog watchdog(Poco::Timespan(timeoutMs * 1000));
            watchdog.watch(sockets[0]);
            for (int call = 0; call < c.calls; ++call)
            {
                watchdog.arm();
                Poco::Thread::sleep(c.callMs);
                watchdog.disarm();
            }
            Poco::Thread::sleep(timeoutMs * 2);  // a disarmed watchdog must not fire late
            EXPECT_EQ(c.shutDown, watchdog.fired());
        }
        char octet = 0;
        // The peer reads the end of the stream once the socket was shut down; else it would wait.
        const bool ended = ::send(sockets[0], "x", 1, MSG_NOSIGNAL) < 0;
        EXPECT_EQ(c.shutDown, ended);
        EXPECT_EQ(c.shutDown ? 0 : 1, ::recv(sockets[1], &octet, 1, MSG_DONTWAIT));
        ::close(sockets[0]);
        ::close(sockets[1]);
    }
}
