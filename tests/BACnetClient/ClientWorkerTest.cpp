#include "BACnet/ManualClock.h"
#include "BACnetClient/ScriptedNetwork.h"
#include "ClientFixture.h"
#include "Orvik_BACnetClient/NotificationRequestRR.h"
#include "Orvik_BACnetClient/NotificationRequestWhoIs.h"
#include "Orvik_BACnetClient/ReadRangePager.h"

#include <Poco/Exception.h>
#include <algorithm>

namespace Orvik::BACnet::Client::Test
{

using BACnet::Test::ManualClock;

namespace
{

const DataError REFUSED(ERROR_CLASS_COMMUNICATION, ERROR_CODE_OTHER);
const DataPropertyKey ANY_KEY(100, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1),
                              DataPropertyRef(PROP_PRESENT_VALUE));

/// A notification that is neither a reply nor a stop request, told apart by its number.
class Marker : public Poco::Notification
{
public:
    explicit Marker(int aNumber) : number(aNumber) {}
    const int number;
};

Poco::Notification* stopRequest()
{
    return new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING);
}

/// Asks the worker that reads `requests` the watchdog's question; true when it answers within 10 s.
bool answersTheSanityRequest(Poco::NotificationQueue& requests, Poco::NotificationQueue& responses)
{
    using Orvik::Utility::Notification;
    requests.enqueueNotification(
        new Notification(Notification::SANITY_REQUEST, Notification::UNDEFINED, &responses));
    Poco::AutoPtr<Poco::Notification> pAnswer(responses.waitDequeueNotification(10000));
    auto* pSanity = dynamic_cast<Notification*>(pAnswer.get());
    return pSanity != nullptr && pSanity->getAction() == Notification::SANITY_RESPONSE;
}

}  // namespace

/// The worker and the ServiceHelper over simulated sites.
class ClientWorkerTest : public ClientFixture
{
protected:
    /// The devices that answered a blocking Who-Is, in order.
    std::vector<Poco::UInt32> whoIs(const DataType::BACnetAddress& address, Poco::UInt32 low,
                                    Poco::UInt32 high)
    {
        std::vector<DataResponseWhoIs> responses;
        EXPECT_EQ(helper->syncWhoIs(address, low, high, responses), ServiceHelper::SYNC_RESULT_SUCCESS);
        std::vector<Poco::UInt32> instances;
        for (const DataResponseWhoIs& response : responses)
            instances.push_back(response.deviceInstance);
        std::sort(instances.begin(), instances.end());
        return instances;
    }

    void expectMarkers(std::initializer_list<int> numbers)
    {
        for (int number : numbers)
        {
            Poco::AutoPtr<Marker> pMarker = next<Marker>();
            ASSERT_FALSE(pMarker.isNull());
            EXPECT_EQ(pMarker->number, number);
        }
    }
};

TEST_F(ClientWorkerTest, SlowDeviceAnswersWithinTheTimeOutAndFailsPastIt)
{
    // The device answers after 400 ms.
    for (const auto& [apduTimeoutMs, expected] :
         {std::pair<Poco::UInt32, DataError>{30000, {}}, {100, TIMEOUT}})
    {
        start("test-faults.json", shortTransactions(apduTimeoutMs, 0));
        ValueContainer value;
        EXPECT_EQ(read(key(300, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE), value), expected);
        EXPECT_FLOAT_EQ(value.isNull() ? 20.0f : value.getReal(), 20.0f);
    }
}

TEST_F(ClientWorkerTest, WhoIsCollectsTheDevicesOfTheRangeOrStationThatAnswerInTheWindow)
{
    start("test-network.json");
    DataType::BACnetAddress station;
    station.setNetworkNumber(0);
    ASSERT_TRUE(station.setMAC("127.0.0.1:47809"));  // the second device of the file
    EXPECT_EQ(whoIs(DataType::BACnetAddress(), 0, BACNET_MAX_INSTANCE),
              (std::vector<Poco::UInt32>{100, 200, 400}))
        << "300 is silent";
    EXPECT_EQ(whoIs(station, 0, BACNET_MAX_INSTANCE), std::vector<Poco::UInt32>{200});
    EXPECT_TRUE(whoIs(DataType::BACnetAddress(), 1000, 2000).empty()) << "no answer still ends the window";

    // 200 is silent and 300 answers after the window; its late I-Am does not confuse the next Who-Is.
    start("test-faults.json");
    site->setDelay(300, shortSettings().whoIsWindowMs * 5);
    EXPECT_EQ(whoIs(DataType::BACnetAddress(), 0, BACNET_MAX_INSTANCE),
              (std::vector<Poco::UInt32>{100, 400}));
    EXPECT_EQ(whoIs(DataType::BACnetAddress(), 100, 100), std::vector<Poco::UInt32>{100});
}

TEST_F(ClientWorkerTest, BlockingCallSetsOtherNotificationsAsideInTheirOrder)
{
    start("test-network.json");
    responses.enqueueNotification(new Marker(1));
    responses.enqueueNotification(new Marker(2));
    const DataPropertyKey fan = key(100, OBJECT_BINARY_OUTPUT, 1, PROP_PRESENT_VALUE);
    const Poco::UInt32 writeId = helper->asyncWP(fan, 8, enumerated(1));
    EXPECT_EQ(read(key(100, OBJECT_ANALOG_INPUT, 1, PROP_OBJECT_NAME)).getCharString(), "Zone Temperature");
    expectMarkers({1, 2});
    // The write's acknowledgement, set aside if it came first, carries its request id and property.
    auto pAck = next<NotificationResponsePropertyAccess<int>>();
    ASSERT_FALSE(pAck.isNull());
    EXPECT_EQ(pAck->getRequestId(), writeId);
    EXPECT_EQ(pAck->getPropertyKey(), fan);
    EXPECT_TRUE(responses.empty());
}

TEST_F(ClientWorkerTest, StopDuringAWaitEndsTheCallAndStaysInFront)
{
    // The device never answers and the time-out is long: only the stop can end the call.
    start("test-network.json", shortTransactions(60000));
    responses.enqueueNotification(new Marker(1));
    responses.enqueueNotification(new Marker(2));
    responses.enqueueNotification(stopRequest());
    responses.enqueueNotification(new Marker(3));

    ValueContainer value = valueOf(1.0f);
    DataError error;
    EXPECT_EQ(helper->syncRP(key(300, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE), value, &error),
              ServiceHelper::SYNC_RESULT_STOP);
    EXPECT_TRUE(value.isNull());
    EXPECT_FALSE(error.hasError());
    Poco::AutoPtr<Orvik::Utility::Notification> pStop = next<Orvik::Utility::Notification>();
    ASSERT_FALSE(pStop.isNull());
    EXPECT_EQ(pStop->getAction(), Orvik::Utility::Notification::STOP_RUNNING);
    expectMarkers({1, 2, 3});

    // A stopped ReadRange leaves no "more items" behind.
    responses.enqueueNotification(stopRequest());
    ReadRangeAck::Result result;
    result.resultFlags = ReadRangeAck::RESULT_MORE_ITEMS;
    result.itemCnt = 7;
    ReadRange::Range range;
    range.requestType = ReadRange::RT_BY_POSITION;
    range.count = 10;
    EXPECT_EQ(helper->syncRR(key(300, OBJECT_TREND_LOG, 1, PROP_LOG_BUFFER), range, result),
              ServiceHelper::SYNC_RESULT_STOP);
    EXPECT_FALSE(result.hasMoreItems());
    EXPECT_EQ(result.itemCnt, 0u);
}

TEST_F(ClientWorkerTest, RepliesForAHelperThatIsGoneAreDroppedAndAHelperNeedsBothQueues)
{
    start("test-network.json");
    {
        Poco::NotificationQueue ownQueue;
        ServiceHelper shortLived(&requests, &ownQueue);
        shortLived.asyncRPM(300,
                            {NotificationRequestRPM::Parameter(DataType::ObjectIdentifier(OBJECT_DEVICE, 300),
                                                               {DataPropertyRef(PROP_OBJECT_NAME)})});
    }
    // The silent device's time-out reply would go to the deleted queue; the worker must drop it and
    // keep serving.
    ValueContainer value;
    EXPECT_EQ(read(key(300, OBJECT_DEVICE, 300, PROP_OBJECT_NAME), value), TIMEOUT);
    EXPECT_EQ(read(key(100, OBJECT_DEVICE, 100, PROP_OBJECT_NAME), value), DataError());
    EXPECT_TRUE(responses.empty());

    ServiceHelper withoutQueues;
    EXPECT_THROW(withoutQueues.syncRP(ANY_KEY, value), Poco::IllegalStateException);
    EXPECT_THROW(withoutQueues.asyncWhoIs(DataType::BACnetAddress(), 0, 10), Poco::IllegalStateException);
}

TEST(DataPropertyKeyTest, BuiltFromAppParameters)
{
    std::vector<ValueContainer> parameters{valueOf(std::uint64_t{266771}), enumerated(OBJECT_TRENDLOG),
                                           valueOf(std::uint64_t{22}), enumerated(PROP_OBJECT_LIST),
                                           valueOf(std::uint64_t{3})};
    const DataPropertyKey withIndex(parameters, 0);
    EXPECT_EQ(withIndex.deviceInstance, 266771u);
    EXPECT_EQ(withIndex.objectIdentifier, DataType::ObjectIdentifier(OBJECT_TRENDLOG, 22));
    EXPECT_EQ(withIndex.propertyRef, DataPropertyRef(PROP_OBJECT_LIST, 3));

    parameters[4].clear();
    EXPECT_FALSE(DataPropertyKey(parameters, 0).propertyRef.hasArrayIndex());
    parameters.pop_back();
    EXPECT_FALSE(DataPropertyKey(parameters, 0).propertyRef.hasArrayIndex());
    EXPECT_THROW(DataPropertyKey(parameters, 1), Poco::InvalidArgumentException);
    parameters[2].setUInt(BACNET_MAX_INSTANCE + 1);
    EXPECT_THROW(DataPropertyKey(parameters, 0), Poco::InvalidArgumentException);
}

/// The worker over a scripted network on a manual clock: what the worker does itself.
class ClientWorkerOverScriptedNetwork : public ::testing::Test
{
protected:
    static ClientWorker::Settings settings()
    {
        ClientWorker::Settings workerSettings;
        workerSettings.transactionDeadlineMs = 5000;
        return workerSettings;
    }

    // Once the sanity request is answered, requests start on the test's thread in the order they are
    // made; before, one could go through the worker's queue and reach the network after a later one.
    ClientWorkerOverScriptedNetwork()
    {
        worker.start();
        EXPECT_TRUE(answersTheSanityRequest(requests, responses));
    }
    ~ClientWorkerOverScriptedNetwork() override
    {
        helper.reset();
        worker.stop();
    }

    /// The reply to request `requestId`, or null when none comes within `waitMs`.
    template <class T>
    Poco::AutoPtr<T> replyTo(Poco::UInt32 requestId, long waitMs = 10000)
    {
        Poco::AutoPtr<Poco::Notification> pNf(responses.waitDequeueNotification(waitMs));
        auto* pReply = dynamic_cast<T*>(pNf.get());
        EXPECT_EQ(pReply == nullptr ? requestId : pReply->getRequestId(), requestId);
        return Poco::AutoPtr<T>(pReply, true);
    }

    bool nothingWithin(long waitMs)
    {
        return Poco::AutoPtr<Poco::Notification>(responses.waitDequeueNotification(waitMs)).isNull();
    }

    /// The worker ended the transaction: its second call is the end of the first.
    /// Nothing until the safety deadline from now, then the time-out of `requestId`.
    void expectTimeOutAtTheDeadline(Poco::UInt32 requestId)
    {
        clock.advance(settings().transactionDeadlineMs - 1);
        EXPECT_TRUE(nothingWithin(200));
        clock.advance(1);
        auto pTimeOut = replyTo<NotificationResponsePropertyAccess<DataError>>(requestId);
        ASSERT_FALSE(pTimeOut.isNull());
        EXPECT_EQ(pTimeOut->getResponse(), TIMEOUT);
    }
    void expectEnded(Poco::UInt32 transactionId)
    {
        const std::vector<ScriptedNetwork::Call> calls = network.waitForCalls(2);
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[1].service, "end");
        EXPECT_EQ(calls[1].transactionId, transactionId);
    }

    ManualClock clock;
    ScriptedNetwork network;
    Poco::NotificationQueue requests;
    Poco::NotificationQueue responses;
    ClientWorker worker{&requests, network, settings(), clock};
    std::unique_ptr<ServiceHelper> helper = std::make_unique<ServiceHelper>(&requests, &responses);
};

TEST_F(ClientWorkerOverScriptedNetwork, AnswersGoToTheirRequestsAndALateOneIsDropped)
{
    const Poco::UInt32 first = helper->asyncWP(ANY_KEY, 8, ValueContainer());
    const Poco::UInt32 second = helper->asyncWP(ANY_KEY, 9, ValueContainer());
    const std::vector<ScriptedNetwork::Call> calls = network.waitForCalls(2);
    ASSERT_EQ(calls.size(), 2u);
    network.reply(calls[1].transactionId,
                  NetworkReply(DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_WRITE_ACCESS_DENIED)));
    network.reply(calls[0].transactionId, NetworkReply(NetworkReply::Ack()));
    network.reply(calls[0].transactionId, NetworkReply(NetworkReply::Ack()));  // a second end: dropped
    EXPECT_FALSE(replyTo<NotificationResponsePropertyAccess<DataError>>(second).isNull());
    EXPECT_FALSE(replyTo<NotificationResponsePropertyAccess<int>>(first).isNull());
    EXPECT_TRUE(nothingWithin(200));
}

TEST_F(ClientWorkerOverScriptedNetwork, SafetyDeadlineAnswersTheTimeOutAndEndsTheTransaction)
{
    // The network never ends the transaction.
    const Poco::UInt32 requestId = helper->asyncWP(ANY_KEY, 8, ValueContainer());
    const Poco::UInt32 transactionId = network.waitForCalls(1).at(0).transactionId;
    expectTimeOutAtTheDeadline(requestId);
    expectEnded(transactionId);
    network.reply(transactionId, NetworkReply(NetworkReply::Ack()));  // too late
    EXPECT_TRUE(nothingWithin(200));
}

TEST_F(ClientWorkerOverScriptedNetwork, SafetyDeadlineWaitsWhileTheNetworkQueuesTheRequest)
{
    const Poco::UInt32 requestId = helper->asyncWP(ANY_KEY, 8, ValueContainer());
    const Poco::UInt32 transactionId = network.waitForCalls(1).at(0).transactionId;
    network.queue(transactionId, true);
    EXPECT_TRUE(nothingWithin(200));  // the worker takes the news before the clock moves
    clock.advance(settings().transactionDeadlineMs * 3);
    EXPECT_TRUE(nothingWithin(200));
    network.queue(transactionId, false);  // out at last: the deadline counts from here
    EXPECT_TRUE(nothingWithin(200));
    expectTimeOutAtTheDeadline(requestId);
}

TEST_F(ClientWorkerOverScriptedNetwork, RefusedRequestFailsAtOnceAndStopEndsWhatIsOpen)
{
    network.refuseSends = true;
    ValueContainer value;
    DataError error;
    EXPECT_EQ(helper->syncRP(ANY_KEY, value, &error), ServiceHelper::SYNC_RESULT_FAIL);
    EXPECT_EQ(error, REFUSED);

    network.refuseSends = false;
    const Poco::UInt32 requestId = helper->asyncWP(ANY_KEY, 8, ValueContainer());
    const Poco::UInt32 transactionId = network.waitForCalls(1).at(0).transactionId;
    worker.stop();
    ASSERT_TRUE(network.waitForClose());
    expectEnded(transactionId);
    auto pStopped = replyTo<NotificationResponsePropertyAccess<DataError>>(requestId);
    ASSERT_FALSE(pStopped.isNull());
    EXPECT_EQ(pStopped->getResponse(), DataError(ERROR_CLASS_COMMUNICATION, ERROR_CODE_ABORT_OTHER));
}

TEST(ClientWorkerOnTheSystemClock, ARequestStartedOnTheRequestersThreadWakesAnIdleWorkerForItsDeadline)
{
    ScriptedNetwork network;  // never answers
    Poco::NotificationQueue requests;
    Poco::NotificationQueue responses;
    ClientWorker::Settings settings;
    settings.transactionDeadlineMs = 100;
    ClientWorker worker(&requests, network, settings);
    worker.start();
    // Once the sanity request is answered, the worker serves requesters directly and, with nothing
    // open, waits without end: only the request itself can bring its deadline to the worker.
    ASSERT_TRUE(answersTheSanityRequest(requests, responses));
    {
        ServiceHelper helper(&requests, &responses);
        const Poco::UInt32 requestId = helper.asyncWP(ANY_KEY, 8, ValueContainer());
        Poco::AutoPtr<Poco::Notification> pNf(responses.waitDequeueNotification(10000));
        auto* pTimeOut = dynamic_cast<NotificationResponsePropertyAccess<DataError>*>(pNf.get());
        ASSERT_NE(pTimeOut, nullptr);
        EXPECT_EQ(pTimeOut->getRequestId(), requestId);
        EXPECT_EQ(pTimeOut->getResponse(), DataError::timeout());
    }
    worker.stop();
}

TEST(ClientWorkerWithoutNetwork,
     EveryRequestIsRefusedAtOnceWhenTheNetworkCannotBeOpenedAndTheWatchdogIsAnswered)
{
    ScriptedNetwork network;
    network.refuseOpen = true;
    Poco::NotificationQueue requests;
    Poco::NotificationQueue responses;
    ClientWorker worker(&requests, network);
    worker.start();
    {
        ServiceHelper helper(&requests, &responses);
        ValueContainer value;
        DataError error;
        EXPECT_EQ(helper.syncRP(ANY_KEY, value, &error), ServiceHelper::SYNC_RESULT_FAIL);
        EXPECT_EQ(error, REFUSED);
        // Without a network the Who-Is ends at once, not after its window (3 s by default).
        const Poco::UInt32 whoIs = helper.asyncWhoIs(DataType::BACnetAddress(), 0, 1000);
        Poco::AutoPtr<Poco::Notification> pEnd(responses.waitDequeueNotification(2500));
        auto* pReply = dynamic_cast<NotificationResponseBase*>(pEnd.get());
        ASSERT_NE(pReply, nullptr);
        EXPECT_EQ(pReply->getRequestId(), whoIs);
        EXPECT_FALSE(NotificationRequestWhoIs::isEndOfWindow(*pReply));
    }
    // It still answers the watchdog's sanity request.
    EXPECT_TRUE(answersTheSanityRequest(requests, responses));
    worker.stop();
    EXPECT_TRUE(network.waitForCalls(0).empty());
}

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
    friend std::ostream& operator<<(std::ostream& out, const PagerCase& aCase) { return out << aCase.name; }
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
    _responses.enqueueNotification(stopRequest());
    ReadRangePager pager(_services, LOG, Asked{TIME, 0, 10}.range());
    ReadRangeAck::Result page;
    EXPECT_EQ(pager.next(page), ReadRangePager::STOPPED);
    EXPECT_TRUE(pager.isEnded());
}

}  // namespace Orvik::BACnet::Client::Test
