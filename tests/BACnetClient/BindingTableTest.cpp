#include "IP/BindingTable.h"

#include <Poco/AutoPtr.h>
#include <Poco/Channel.h>
#include <gmock/gmock.h>
#include <functional>
#include <sstream>

namespace Orvik::BACnet::Client::Test
{

namespace
{

using IP::PeerAddress;
using Table = IP::BindingTable;
using testing::AllOf;
using testing::HasSubstr;

class KeepingChannel : public Poco::Channel
{
public:
    void log(const Poco::Message& message) override
    {
        texts[message.getPriority()].push_back(message.getText());
    }
    std::map<int, std::vector<std::string>> texts;
};

/// Station 'A' to 'C': 10.0.0.1 to 10.0.0.3.
Codec::Bvll::Endpoint station(char letter)
{
    return Codec::Bvll::Endpoint{{10, 0, 0, static_cast<std::uint8_t>(letter - 'A' + 1)}, 47808};
}

Table::Binding bindingAt(char letter, Poco::UInt32 maxApdu)
{
    return Table::Binding{PeerAddress(station(letter)), maxApdu};
}

PeerAddress behindRouter(char letter)
{
    DataType::BACnetAddress remote;
    remote.setNetworkNumber(5);
    remote.setMAC("0a");
    return PeerAddress(station(letter), remote);
}

/// A step on device 100 or network 5 from a station: I an I-Am, i an I-Am with max APDU 480, S a static
/// binding, F a request to the device failed there, K the device answered there; R the station passed a
/// message from network 5, X it refused network 5, D a request to 5/0a through it went unanswered.
const std::map<char, std::function<void(Table&, char)>> STEPS{
    {'I', [](Table& table, char at) { table.learn(100, bindingAt(at, 1476)); }},
    {'i', [](Table& table, char at) { table.learn(100, bindingAt(at, 480)); }},
    {'S', [](Table& table, char at) { table.addStatic(100, bindingAt(at, 1476)); }},
    {'F', [](Table& table, char at) { table.failed(100, PeerAddress(station(at))); }},
    {'K', [](Table& table, char at) { table.answered(100, PeerAddress(station(at))); }},
    {'R', [](Table& table, char at) { table.learnRoute(5, station(at)); }},
    {'X', [](Table& table, char at) { table.routeFailed(5, station(at)); }},
    {'D', [](Table& table, char at) { table.failed(101, behindRouter(at)); }}};

}  // namespace

TEST(BindingTableTest, FirstDeviceAndRouterStayUntilTheyFailAndEachRivalIsLoggedOnce)
{
    struct Case
    {
        std::string steps;
        /// The station bound or routing at the end, and the device's max APDU (0: the route is checked).
        char kept;
        Poco::UInt32 maxApdu;
        std::size_t warnings;
        std::size_t moves;
    };
    const std::vector<Case> cases{
        {"IA IB IB IC IB", 'A', 1476, 2, 0},  // the first binding stays, each rival is logged once
        {"IA iA", 'A', 480, 0, 0},            // its own address renews the limits
        {"IA IB FA IB", 'B', 1476, 1, 1},     // a failed binding moves
        {"IA FA KA IB", 'A', 1476, 1, 0},     // an answer ends the failure
        {"IA FB IB", 'A', 1476, 1, 0},        // a failure elsewhere is none of its own
        {"SA FA IB", 'A', 1476, 1, 0},        // a static binding never moves
        {"RA RB RB", 'A', 0, 1, 0},           // the first router stays, a rival is logged once
        {"RA XA RB", 'B', 0, 0, 1},           // one that refused the network is replaced
        {"RA DA RB", 'B', 0, 0, 1},           // so is one that left a request unanswered
        {"RA XA RA RB", 'A', 0, 1, 0},        // traffic through it ends the failure
        {"RA XB RB", 'A', 0, 1, 0}};          // another router's refusal is not its own
    for (const Case& aCase : cases)
    {
        SCOPED_TRACE(aCase.steps);
        Poco::AutoPtr<KeepingChannel> pChannel(new KeepingChannel);
        Poco::Logger& logger = Poco::Logger::get("BindingTableTest");
        logger.setChannel(pChannel);
        logger.setLevel(Poco::Message::PRIO_INFORMATION);
        Table table(8, logger);
        std::istringstream steps(aCase.steps);
        for (std::string step; steps >> step;)
            STEPS.at(step[0])(table, step[1]);
        if (aCase.maxApdu == 0)
        {
            EXPECT_EQ(table.routerFor(5), station(aCase.kept));
        }
        else
        {
            ASSERT_NE(table.find(100), nullptr);
            EXPECT_EQ(table.find(100)->peer, PeerAddress(station(aCase.kept)));
            EXPECT_EQ(table.find(100)->maxApdu, aCase.maxApdu);
            // Answers are taken from the kept station only.
            for (char letter : {'A', 'B', 'C'})
                EXPECT_EQ(table.deviceAt(PeerAddress(station(letter))),
                          letter == aCase.kept ? std::optional<Poco::UInt32>(100) : std::nullopt)
                    << letter;
        }
        const std::vector<std::string>& warnings = pChannel->texts[Poco::Message::PRIO_WARNING];
        EXPECT_EQ(warnings.size(), aCase.warnings);
        EXPECT_EQ(pChannel->texts[Poco::Message::PRIO_INFORMATION].size(), aCase.moves);
        if (!warnings.empty())
        {
            // The first names the device or network, where it stays, and the rival.
            EXPECT_THAT(warnings.front(), AllOf(HasSubstr(aCase.maxApdu == 0 ? "network 5" : "device 100"),
                                                HasSubstr("10.0.0.1:47808"), HasSubstr("10.0.0.2:47808")));
        }
        logger.setChannel(nullptr);
    }
}

}  // namespace Orvik::BACnet::Client::Test
