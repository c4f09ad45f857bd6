#include <gtest/gtest.h>

#include <Poco/Exception.h>

#include <optional>
#include <string>
#include <vector>

#include "Orvik_BACnetClient/NotificationRequestRR.h"
#include "Orvik_BACnetClient/ReadRangePager.h"
#include "Orvik_Utility/Notification.h"

namespace Orvik::BACnet::Client::Test
{

namespace
{

const ReadRange::RequestType TIME = ReadRange::RT_BY_TIME;
const ReadRange::RequestType SEQ = ReadRange::RT_BY_SEQUENCE;
const ReadRange::RequestType POS = ReadRange::RT_BY_POSITION;

/// A device's answer to one page request: a page, or (failed) the error.
struct Answer
{
    Poco::UInt32 firstSequenceNumber;
    Poco::UInt32 itemCnt;
    bool more;
    bool failed = false;
};
const Answer FAILS{0, 0, false, true};

/// A page request: its type, its reference (sequence number or position) and its count.
struct Asked
{
    ReadRange::RequestType type;
    Poco::UInt32 reference;
    Poco::Int32 count;
    bool operator==(const Asked& other) const
    {
        return type == other.type && reference == other.reference && count == other.count;
    }
    ReadRange::Range range() const
    {
        ReadRange::Range r;
        r.requestType = type;
        r.refIndex = type == POS ? reference : 1;
        r.refSeqNum = type == SEQ ? reference : 0;
        r.count = count;
        return r;
    }
};

std::ostream& operator<<(std::ostream& os, const Asked& asked)
{
    return os << "{type " << asked.type << ", ref " << asked.reference << ", count " << asked.count << "}";
}

/// The answers a device gives, every request the pager posts (the first is the pager's first range), and
/// whether the last page gives nothing to go on from, so that the next call throws.
struct PagerCase
{
    std::string name;
    std::vector<Answer> answers;
    std::vector<Asked> asked;
    bool throws = false;
};

/// The page shapes a device may send, and what the pager makes of them: the next request, the end, or
/// a clear error, never the same request again.
const std::vector<PagerCase> CASES = {
    {"ByTimeThenBySequenceUntilNoMore",
     {{7, 20, true}, {27, 20, true}, {47, 5, false}},
     {{TIME, 0, 100}, {SEQ, 27, 80}, {SEQ, 47, 60}}},
    {"SequenceNumbersWrapTo1",
     {{4294967294u, 2, true}, {1, 3, false}},
     {{SEQ, 4294967294u, 10}, {SEQ, 1, 8}}},
    {"ByPositionWithoutSequenceNumbersGoesOnByPosition",
     {{0, 4, true}, {0, 2, false}},
     {{POS, 1, 100}, {POS, 5, 96}}},
    {"SpentCountEndsThoughMoreFollow", {{1, 30, true}, {31, 20, true}}, {{TIME, 0, 50}, {SEQ, 31, 20}}},
    {"BackwardReadIsOnePage", {{9, 1, true}}, {{TIME, 0, -1}}},
    {"FailedPageEnds", {{1, 20, true}, FAILS}, {{TIME, 0, 100}, {SEQ, 21, 80}}},
    {"EmptyPageThatSaysMoreIsAnError", {{1, 20, true}, {0, 0, true}}, {{TIME, 0, 100}, {SEQ, 21, 80}}, true},
    {"ByTimeWithoutSequenceNumbersCannotGoOn", {{0, 20, true}}, {{TIME, 0, 100}}, true},
};

const DataPropertyKey LOG(5, DataType::ObjectIdentifier(OBJECT_TREND_LOG, 1),
                          DataPropertyRef(PROP_LOG_BUFFER));

class ReadRangePagerTest : public testing::TestWithParam<PagerCase>
{
protected:
    /// Answers the request waiting on the client queue, as the client worker would, and notes its range.
    void answer(const Answer& answer)
    {
        Poco::AutoPtr<Poco::Notification> pNf(_requests.dequeueNotification());
        auto* pRequest = dynamic_cast<NotificationRequestRR*>(pNf.get());
        ASSERT_NE(pRequest, nullptr);
        const ReadRange::Range& r = pRequest->getRange();
        _asked.push_back({r.requestType, r.requestType == POS ? r.refIndex : r.refSeqNum, r.count});
        ReadRangeAck::Result page;
        page.firstSequenceNumber = answer.firstSequenceNumber;
        page.itemCnt = answer.itemCnt;
        page.resultFlags = answer.more ? ReadRangeAck::RESULT_MORE_ITEMS : 0;
        _responses.enqueueNotification(
            answer.failed
                ? pRequest->answerError(DataError(ERROR_CLASS_DEVICE, ERROR_CODE_OPERATIONAL_PROBLEM))
                : pRequest->answer(NetworkReply(page)));
    }

    Poco::NotificationQueue _requests;
    Poco::NotificationQueue _responses;
    ServiceHelper _services{&_requests, &_responses};
    std::vector<Asked> _asked;
};

TEST_P(ReadRangePagerTest, PagesOnOneRule)
{
    const PagerCase& c = GetParam();
    ReadRangePager pager(_services, LOG, c.asked.at(0).range());
    ReadRangeAck::Result page;
    DataError error;
    for (const Answer& a : c.answers)
    {
        pager.request();  // asked before the page is taken, as a reader ahead would
        answer(a);
        EXPECT_EQ(pager.next(page, &error), a.failed ? ReadRangePager::FAILED : ReadRangePager::PAGE);
        EXPECT_EQ(error.hasError(), a.failed);
        EXPECT_EQ(page.itemCnt, a.itemCnt);
    }
    if (c.throws)
    {
        // The page came out; the error comes with the request for the page after it, never the end.
        EXPECT_FALSE(pager.isEnded());
        EXPECT_THROW(pager.next(page, &error), Poco::ProtocolException);
    }
    EXPECT_TRUE(pager.isEnded());
    EXPECT_EQ(pager.next(page), ReadRangePager::ENDED);
    EXPECT_TRUE(_requests.empty()) << "a request after the end";
    EXPECT_EQ(_asked, c.asked);
}

INSTANTIATE_TEST_SUITE_P(PageShapes, ReadRangePagerTest, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<PagerCase>& info) { return info.param.name; });

TEST_F(ReadRangePagerTest, StopRequestWhileWaitingEndsThePaging)
{
    _responses.enqueueNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
    ReadRangePager pager(_services, LOG, Asked{TIME, 0, 10}.range());
    ReadRangeAck::Result page;
    EXPECT_EQ(pager.next(page), ReadRangePager::STOPPED);
    EXPECT_TRUE(pager.isEnded());
}

}  // namespace

}  // namespace Orvik::BACnet::Client::Test
