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

/// A device's answer to one page request: a page, or the error.
struct Answer
{
    Poco::UInt32 firstSequenceNumber;
    Poco::UInt32 itemCnt;
    bool more;
    bool failed = false;
};

/// Where a page request started: the request type and its reference (sequence number or position).
struct Asked
{
    ReadRange::RequestType type;
    Poco::UInt32 reference;
    Poco::Int32 count;
    bool operator==(const Asked& other) const
    {
        return type == other.type && reference == other.reference && count == other.count;
    }
};

std::ostream& operator<<(std::ostream& os, const Asked& asked)
{
    return os << "{type " << asked.type << ", ref " << asked.reference << ", count " << asked.count << "}";
}

struct PagerCase
{
    std::string name;
    ReadRange::Range first;
    std::vector<Answer> answers;
    std::vector<Asked> expectedRequests;  ///< every request the pager posts, in order
    ReadRangePager::Outcome lastOutcome;  ///< of the call after the last answer
    bool throws = false;  ///< the last page gives nothing to continue from: the next call throws
};

ReadRange::Range range(ReadRange::RequestType type, Poco::UInt32 reference, Poco::Int32 count)
{
    ReadRange::Range r;
    r.requestType = type;
    r.refIndex = type == ReadRange::RT_BY_POSITION ? reference : 1;
    r.refSeqNum = type == ReadRange::RT_BY_SEQUENCE ? reference : 0;
    r.count = count;
    return r;
}

const ReadRange::RequestType TIME = ReadRange::RT_BY_TIME;
const ReadRange::RequestType SEQ = ReadRange::RT_BY_SEQUENCE;
const ReadRange::RequestType POS = ReadRange::RT_BY_POSITION;

/// The page shapes a device may send, and what the pager makes of them: the next request, the end, or
/// a clear error, never the same request again.
const std::vector<PagerCase> CASES = {
    {"ByTimeThenBySequenceUntilNoMore",
     range(TIME, 0, 100),
     {{7, 20, true}, {27, 20, true}, {47, 5, false}},
     {{TIME, 0, 100}, {SEQ, 27, 80}, {SEQ, 47, 60}},
     ReadRangePager::ENDED},
    {"SequenceNumbersWrapTo1",
     range(SEQ, 4294967294u, 10),
     {{4294967294u, 2, true}, {1, 3, false}},
     {{SEQ, 4294967294u, 10}, {SEQ, 1, 8}},
     ReadRangePager::ENDED},
    {"ByPositionWithoutSequenceNumbersGoesOnByPosition",
     range(POS, 1, 100),
     {{0, 4, true}, {0, 2, false}},
     {{POS, 1, 100}, {POS, 5, 96}},
     ReadRangePager::ENDED},
    {"SpentCountEndsThoughMoreFollow",
     range(TIME, 0, 50),
     {{1, 30, true}, {31, 20, true}},
     {{TIME, 0, 50}, {SEQ, 31, 20}},
     ReadRangePager::ENDED},
    {"BackwardReadIsOnePage", range(TIME, 0, -1), {{9, 1, true}}, {{TIME, 0, -1}}, ReadRangePager::ENDED},
    {"FailedPageEnds",
     range(TIME, 0, 100),
     {{1, 20, true}, {0, 0, false, true}},
     {{TIME, 0, 100}, {SEQ, 21, 80}},
     ReadRangePager::FAILED},
    {"EmptyPageThatSaysMoreIsAnError",
     range(TIME, 0, 100),
     {{1, 20, true}, {0, 0, true}},
     {{TIME, 0, 100}, {SEQ, 21, 80}},
     ReadRangePager::ENDED,
     true},
    {"ByTimeWithoutSequenceNumbersCannotGoOn",
     range(TIME, 0, 100),
     {{0, 20, true}},
     {{TIME, 0, 100}},
     ReadRangePager::ENDED,
     true},
};

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
    ReadRangePager pager(
        _services,
        DataPropertyKey(5, DataType::ObjectIdentifier(OBJECT_TREND_LOG, 1), DataPropertyRef(PROP_LOG_BUFFER)),
        c.first);
    ReadRangeAck::Result page;
    DataError error;
    for (std::size_t i = 0; i < c.answers.size(); ++i)
    {
        pager.request();  // asked before the page is taken, as a reader ahead would
        answer(c.answers[i]);
        const ReadRangePager::Outcome outcome = pager.next(page, &error);
        if (c.answers[i].failed)
        {
            EXPECT_EQ(outcome, ReadRangePager::FAILED);
            EXPECT_TRUE(error.hasError());
            break;
        }
        EXPECT_EQ(outcome, ReadRangePager::PAGE);
        EXPECT_EQ(page.itemCnt, c.answers[i].itemCnt);
    }
    if (c.throws)
    {
        // The page came out; the error comes with the request for the page after it, never the end.
        EXPECT_FALSE(pager.isEnded());
        EXPECT_THROW(pager.next(page, &error), Poco::ProtocolException);
    }
    EXPECT_TRUE(pager.isEnded());
    if (c.lastOutcome == ReadRangePager::ENDED)
    {
        EXPECT_EQ(pager.next(page), ReadRangePager::ENDED);
    }
    EXPECT_TRUE(_requests.empty()) << "a request after the end";
    EXPECT_EQ(_asked, c.expectedRequests);
}

INSTANTIATE_TEST_SUITE_P(PageShapes, ReadRangePagerTest, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<PagerCase>& info) { return info.param.name; });

TEST(ReadRangePagerStop, StopRequestWhileWaitingEndsThePaging)
{
    Poco::NotificationQueue requests;
    Poco::NotificationQueue responses;
    ServiceHelper services(&requests, &responses);
    responses.enqueueNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
    ReadRangePager pager(
        services,
        DataPropertyKey(5, DataType::ObjectIdentifier(OBJECT_TREND_LOG, 1), DataPropertyRef(PROP_LOG_BUFFER)),
        range(TIME, 0, 10));
    ReadRangeAck::Result page;
    EXPECT_EQ(pager.next(page), ReadRangePager::STOPPED);
    EXPECT_TRUE(pager.isEnded());
}

}  // namespace

}  // namespace Orvik::BACnet::Client::Test
