#pragma once

#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_BACnetClient/DataResponseWhoIs.h"
#include "Orvik_BACnetClient/NotificationRequest.h"
#include "Orvik_BACnetClient/NotificationRequestRPM.h"
#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"
#include "Orvik_BACnetClient/NotificationResponseBase.h"
#include "Orvik_BACnetClient/ReadRange.h"
#include "Orvik_BACnetClient/ReadRangeAck.h"

#include <Poco/NotificationQueue.h>
#include <Poco/Types.h>

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace Orvik::BACnet::Client
{

/// The BACnet client services of one requester (every app has one as its second base).
///
/// Requests go to the client queue (getQueueBACnetClient()), where the client worker takes them; a
/// confirmed request starts on the caller's thread instead when a running worker serves that queue
/// (ClientWorker::startDirectly()). The replies come back to the requester's own queue
/// (getQueueResponse()). Both are virtual: an app
/// answers with the manager's client queue and its own read queue; a plain ServiceHelper uses the
/// queues given to its constructor.
///
/// Non-blocking calls (async...) post the request and return its request id (never 0); the replies
/// arrive later on the response queue, each carrying that id (NotificationResponseBase::getRequestId()).
/// Every wait below reads the replies that arrive unread (NotificationResponseUnread) as it takes them,
/// on the requester's thread.
///
/// Blocking calls (sync...) post the request and wait on the response queue for its reply. They must
/// run on the thread that reads the response queue (the app's own thread). While they wait:
///   - replies to other requests and every other notification are set aside and put back at the front
///     of the queue, in their original order, when the call returns, so the app's loop still sees them;
///   - a host Notification with action STOP_RUNNING ends the call at once with SYNC_RESULT_STOP, and
///     the stop request is put back at the very front of the queue, so the app's loop sees it next.
/// The client worker answers every request (a device that never answers gets an error after the APDU
/// time-out and retries), so a blocking call does not wait forever while the worker runs.
///
/// On SYNC_RESULT_FAIL the error is written to *pError (when given); on SYNC_RESULT_STOP and
/// SYNC_RESULT_FAIL the output arguments hold no result (cleared at the start of the call; for syncRR
/// resultFlags is 0, so a paging loop that tests the more-items flag ends).
///
/// A ServiceHelper may be used from several threads for the non-blocking calls. Destroy it before
/// its response queue: the destructor makes sure that no reply is posted to that queue any more.
class ServiceHelper
{
public:
    enum SyncReslut
    {
        SYNC_RESULT_STOP = 0,     ///< the requester was told to stop while it waited
        SYNC_RESULT_SUCCESS = 1,  ///< the result is in the output arguments
        SYNC_RESULT_FAIL = 2      ///< the request failed; the DataError says why
    };

    /// Both queues may be null when a subclass overrides the getters.
    explicit ServiceHelper(Poco::NotificationQueue* pQueueBACnetClient = nullptr,
                           Poco::NotificationQueue* pQueueResponse = nullptr);
    ServiceHelper(const ServiceHelper&) = delete;
    ServiceHelper& operator=(const ServiceHelper&) = delete;
    virtual ~ServiceHelper();

    /// Where requests go. Throws Poco::IllegalStateException from the calls below when null.
    virtual Poco::NotificationQueue* getQueueBACnetClient() const;
    /// Where replies come back.
    virtual Poco::NotificationQueue* getQueueResponse() const;
    /// The host's own BACnet server device; an empty reference here.
    virtual DataType::BACnetDeviceObjectReference getDeviceObjectReferenceBACnetServer() const;

    /// Collects the I-Ams of the answer window in `responses` (in arrival order, each device once).
    /// SUCCESS when the window ended normally (also with no device at all).
    SyncReslut syncWhoIs(const DataType::BACnetAddress& address, Poco::UInt32 lowLimit,
                         Poco::UInt32 highLimit, std::vector<DataResponseWhoIs>& responses,
                         DataError* pError = nullptr);
    SyncReslut syncRP(const DataPropertyKey& key, ValueContainer& value, DataError* pError = nullptr);
    /// SUCCESS also when single properties failed: each carries its own error in `responses`.
    SyncReslut syncRPM(Poco::UInt32 deviceInstance,
                       const std::vector<NotificationRequestRPM::Parameter>& parameters,
                       std::vector<DataResponseRPM>& responses, DataError* pError = nullptr);
    SyncReslut syncRR(const DataPropertyKey& key, const ReadRange::Range& range, ReadRangeAck::Result& result,
                      DataError* pError = nullptr);

    /// See NotificationRequestWhoIs for the replies.
    Poco::UInt32 asyncWhoIs(const DataType::BACnetAddress& address, Poco::UInt32 lowLimit,
                            Poco::UInt32 highLimit);
    /// See NotificationRequestRPM for the replies.
    Poco::UInt32 asyncRPM(Poco::UInt32 deviceInstance,
                          const std::vector<NotificationRequestRPM::Parameter>& parameters);
    /// See NotificationRequestWP for the replies. `priority` 1 to 16.
    Poco::UInt32 asyncWP(const DataPropertyKey& key, Poco::UInt32 priority, const ValueContainer& value);
    /// Posts a ReadRange; awaitRR() takes its reply.
    Poco::UInt32 asyncRR(const DataPropertyKey& key, const ReadRange::Range& range);
    /// Waits for the reply of the ReadRange `requestId` (of asyncRR()), as syncRR() waits for its own.
    SyncReslut awaitRR(Poco::UInt32 requestId, ReadRangeAck::Result& result, DataError* pError = nullptr);
    /// Waits until a reply to one of `requestIds` (non-blocking requests on their way) arrives and
    /// returns its request id; the reply stays in the response queue, ahead of what arrived after it,
    /// for its await call (awaitRR()) to take. Everything else is set aside and put back as the blocking
    /// calls do. 0 when the requester was told to stop (the stop request is put back at the front).
    Poco::UInt32 awaitAnyReply(const std::vector<Poco::UInt32>& requestIds);
    /// See NotificationRequestSubscribeCOV for the replies.
    Poco::UInt32 asyncSubscribeCOV(const DataPropertyKey& key,
                                   const NotificationRequestSubscribeCOV::Parameters& parameters);

    /// A subscriber process identifier not handed out before in this process (1 and up); 0 when
    /// none is left.
    static Poco::UInt32 getNewCOVSubscriberProcessIdentifier();

protected:
    /// A request id for a new request (never 0, unique in this process).
    static Poco::UInt32 newRequestId();

private:
    /// Takes a reply of the awaited request; returns true when the call has its answer.
    using ReplyTaker = std::function<bool(NotificationResponseBase& reply)>;

    Poco::NotificationQueue& clientQueue() const;
    Poco::NotificationQueue& responseQueue() const;
    /// The reply ticket of the current response queue, opened on first use.
    Poco::UInt64 replyTicket();
    Poco::UInt32 post(NotificationRequest* pRequest);
    SyncReslut awaitReplies(Poco::UInt32 requestId, const ReplyTaker& take);
    /// The wait of every await call: takes the response queue's notifications in turn. A reply to a
    /// request that `awaited` names goes to `take` (and is dropped when `take` wants more), everything else
    /// is set aside. When `take` has its answer, the set-aside notifications (and the answer, when
    /// `keepAnswer`) go back to the front of the queue in their order, and the result is true; a stop
    /// request ends the wait with false, put back in front of them.
    bool awaitReply(const std::function<bool(Poco::UInt32 requestId)>& awaited, const ReplyTaker& take,
                    bool keepAnswer);
    static void putBack(Poco::NotificationQueue& queue,
                        std::vector<Poco::AutoPtr<Poco::Notification>>& setAside);
    static bool isStopRequest(Poco::Notification* pNf);
    static void storeError(const NotificationResponseBase& reply, DataError* pError);

    Poco::NotificationQueue* const _pQueueBACnetClient;
    Poco::NotificationQueue* const _pQueueResponse;
    std::mutex _ticketMutex;
    std::vector<std::pair<Poco::NotificationQueue*, Poco::UInt64>> _replyTickets;
};

}  // namespace Orvik::BACnet::Client
