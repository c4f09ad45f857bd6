#include "IP/AnswerReassembly.h"

#include <gmock/gmock.h>

#include <string>
#include <vector>

namespace Orvik::BACnet::Client::Test
{

namespace
{

class Segment
{
public:
    Poco::UInt32 transaction;
    std::uint8_t sequence;
    bool moreFollows;
    std::size_t octets;
    std::string expected;
};

std::string describe(const IP::AnswerReassembly::Step& step)
{
    if (step.abortReason)
        return "abort " + std::to_string(*step.abortReason);
    std::string text;
    if (step.ack)
        text += "ack " + std::to_string(step.ack->sequenceNumber) + " ";
    if (step.awaitingMore)
        text += "more ";
    if (step.serviceData)
        text += "data " + std::to_string(step.serviceData->size()) + " ";
    return text.empty() ? "ignored" : text.substr(0, text.size() - 1);
}

}  // namespace

// The answers share one budget of 100 octets: an answer that would go beyond it is aborted
// (out-of-resources, 9), and what a finished or aborted answer held is free again.
TEST(AnswerReassemblyTest, AnswersShareTheOctetBudget)
{
    IP::AnswerReassembly reassembly(4, 100);
    const std::vector<Segment> segments = {
        {1, 0, true, 40, "ack 0 more"},
        {2, 3, true, 10, "ignored"},  // no answer of 2 yet: a stray of an earlier try
        {2, 0, true, 40, "ack 0 more"},
        {2, 1, true, 30, "abort 9"},
        {2, 2, true, 10, "ignored"},  // the aborted answer is gone
        {1, 1, false, 30, "ack 1 data 70"},
        {3, 0, false, 100, "ack 0 data 100"},
    };
    for (const Segment& segment : segments)
    {
        Codec::Octets serviceData(segment.octets, 0x5A);
        Codec::Apdu::Message apdu;
        apdu.header.type = Codec::Apdu::COMPLEX_ACK;
        apdu.header.segmented = true;
        apdu.header.moreFollows = segment.moreFollows;
        apdu.header.sequenceNumber = segment.sequence;
        apdu.header.windowSize = 2;
        apdu.serviceData = serviceData;
        EXPECT_EQ(describe(reassembly.take(segment.transaction, apdu)), segment.expected)
            << "transaction " << segment.transaction << " segment " << unsigned(segment.sequence);
    }
    EXPECT_FALSE(reassembly.isReceiving(1) || reassembly.isReceiving(2) || reassembly.isReceiving(3));
}

}  // namespace Orvik::BACnet::Client::Test
