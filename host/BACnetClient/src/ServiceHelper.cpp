#include "Orvik_BACnetClient/ServiceHelper.h"

#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/NotificationRequestRP.h"
#include "Orvik_BACnetClient/NotificationRequestRR.h"
#include "Orvik_BACnetClient/NotificationRequestWP.h"
#include "Orvik_BACnetClient/NotificationRequestWhoIs.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "Orvik_BACnetClient/NotificationResponseDeviceAccess.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"
#include "Orvik_BACnetClient/NotificationResponseUnread.h"
#include "ReplyQueueRegistry.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <atomic>

namespace Orvik::BACnet::Client
{

namespace
{

bool knowsDevice(const std::vector<DataResponseWhoIs>& responses, Poco::UInt32 deviceInstance)
{
    return std::any_of(responses.begin(), responses.end(),
                       [deviceInstance](const DataResponseWhoIs& r)
                       { return r.deviceInstance == deviceInstance; });
}

}  // namespace

ServiceHelper::ServiceHelper(Poco::NotificationQueue* pQueueBACnetClient,
                             Poco::NotificationQueue* pQueueResponse)
    : _pQueueBACnetClient(pQueueBACnetClient), _pQueueResponse(pQueueResponse)
{
}

ServiceHelper::~ServiceHelper()
{
    std::lock_guard<std::mutex> lock(_ticketMutex);
    for (const auto& queueAndTicket : _replyTickets)
        ReplyQueueRegistry::close(queueAndTicket.second);
}

Poco::NotificationQueue* ServiceHelper::getQueueBACnetClient() const
{
    return _pQueueBACnetClient;
}

Poco::NotificationQueue* ServiceHelper::getQueueResponse() const
{
    return _pQueueResponse;
}

DataType::BACnetDeviceObjectReference ServiceHelper::getDeviceObjectReferenceBACnetServer() const
{
    return DataType::BACnetDeviceObjectReference();
}

// ---- blocking calls ------------------------------------------------------------------------------

ServiceHelper::SyncReslut ServiceHelper::syncWhoIs(const DataType::BACnetAddress& address,
                                                   Poco::UInt32 lowLimit, Poco::UInt32 highLimit,
                                                   std::vector<DataResponseWhoIs>& responses,
                                                   DataError* pError)
{
    responses.clear();
    SyncReslut result = SYNC_RESULT_FAIL;
    const Poco::UInt32 requestId = asyncWhoIs(address, lowLimit, highLimit);
    const SyncReslut waited =
        awaitReplies(requestId,
                     [&](NotificationResponseBase& reply)
                     {
                         if (auto* pIAm = dynamic_cast<NotificationResponse<DataResponseWhoIs>*>(&reply))
                         {
                             if (!knowsDevice(responses, pIAm->getResponse().deviceInstance))
                                 responses.push_back(pIAm->getResponse());
                             return false;
                         }
                         if (NotificationRequestWhoIs::isEndOfWindow(reply))
                             result = SYNC_RESULT_SUCCESS;
                         else
                             storeError(reply, pError);
                         return true;
                     });
    if (waited == SYNC_RESULT_STOP)
    {
        responses.clear();
        return SYNC_RESULT_STOP;
    }
    if (result != SYNC_RESULT_SUCCESS)
        responses.clear();
    return result;
}

ServiceHelper::SyncReslut ServiceHelper::syncRP(const DataPropertyKey& key, ValueContainer& value,
                                                DataError* pError)
{
    value.clear();
    SyncReslut result = SYNC_RESULT_FAIL;
    const Poco::UInt32 requestId =
        post(new NotificationRequestRP(&responseQueue(), replyTicket(), newRequestId(), key));
    const SyncReslut waited =
        awaitReplies(requestId,
                     [&](NotificationResponseBase& reply)
                     {
                         if (auto* pValue = dynamic_cast<NotificationResponse<ValueContainer>*>(&reply))
                         {
                             value = pValue->getResponse();
                             result = SYNC_RESULT_SUCCESS;
                         }
                         else
                         {
                             storeError(reply, pError);
                         }
                         return true;
                     });
    return waited == SYNC_RESULT_STOP ? SYNC_RESULT_STOP : result;
}

ServiceHelper::SyncReslut ServiceHelper::syncRPM(
    Poco::UInt32 deviceInstance, const std::vector<NotificationRequestRPM::Parameter>& parameters,
    std::vector<DataResponseRPM>& responses, DataError* pError)
{
    responses.clear();
    SyncReslut result = SYNC_RESULT_FAIL;
    const Poco::UInt32 requestId = asyncRPM(deviceInstance, parameters);
    const SyncReslut waited = awaitReplies(
        requestId,
        [&](NotificationResponseBase& reply)
        {
            if (auto* pValues = dynamic_cast<NotificationResponse<std::vector<DataResponseRPM>>*>(&reply))
            {
                responses = std::move(pValues->getResponse());
                result = SYNC_RESULT_SUCCESS;
            }
            else
            {
                storeError(reply, pError);
            }
            return true;
        });
    return waited == SYNC_RESULT_STOP ? SYNC_RESULT_STOP : result;
}

ServiceHelper::SyncReslut ServiceHelper::syncRR(const DataPropertyKey& key, const ReadRange::Range& range,
                                                ReadRangeAck::Result& result, DataError* pError)
{
    return awaitRR(asyncRR(key, range), result, pError);
}

ServiceHelper::SyncReslut ServiceHelper::awaitRR(Poco::UInt32 requestId, ReadRangeAck::Result& result,
                                                 DataError* pError)
{
    result = ReadRangeAck::Result();
    SyncReslut outcome = SYNC_RESULT_FAIL;
    const SyncReslut waited = awaitReplies(
        requestId,
        [&](NotificationResponseBase& reply)
        {
            if (auto* pResult = dynamic_cast<NotificationResponse<ReadRangeAck::Result>*>(&reply))
            {
                result = std::move(pResult->getResponse());
                outcome = SYNC_RESULT_SUCCESS;
            }
            else
            {
                storeError(reply, pError);
            }
            return true;
        });
    return waited == SYNC_RESULT_STOP ? SYNC_RESULT_STOP : outcome;
}

Poco::UInt32 ServiceHelper::awaitAnyReply(const std::vector<Poco::UInt32>& requestIds)
{
    Poco::UInt32 replied = 0;
    awaitReply([&requestIds](Poco::UInt32 requestId)
               { return std::find(requestIds.begin(), requestIds.end(), requestId) != requestIds.end(); },
               [&replied](NotificationResponseBase& reply)
               {
                   replied = reply.getRequestId();
                   return true;
               },
               true);
    return replied;
}

// ---- non-blocking calls --------------------------------------------------------------------------

Poco::UInt32 ServiceHelper::asyncWhoIs(const DataType::BACnetAddress& address, Poco::UInt32 lowLimit,
                                       Poco::UInt32 highLimit)
{
    return post(new NotificationRequestWhoIs(&responseQueue(), replyTicket(), newRequestId(), address,
                                             lowLimit, highLimit));
}

Poco::UInt32 ServiceHelper::asyncRPM(Poco::UInt32 deviceInstance,
                                     const std::vector<NotificationRequestRPM::Parameter>& parameters)
{
    return post(new NotificationRequestRPM(&responseQueue(), replyTicket(), newRequestId(), deviceInstance,
                                           parameters));
}

Poco::UInt32 ServiceHelper::asyncRR(const DataPropertyKey& key, const ReadRange::Range& range)
{
    return post(new NotificationRequestRR(&responseQueue(), replyTicket(), newRequestId(), key, range));
}

Poco::UInt32 ServiceHelper::asyncWP(const DataPropertyKey& key, Poco::UInt32 priority,
                                    const ValueContainer& value)
{
    return post(
        new NotificationRequestWP(&responseQueue(), replyTicket(), newRequestId(), key, priority, value));
}

Poco::UInt32 ServiceHelper::asyncSubscribeCOV(const DataPropertyKey& key,
                                              const NotificationRequestSubscribeCOV::Parameters& parameters)
{
    return post(new NotificationRequestSubscribeCOV(&responseQueue(), replyTicket(), newRequestId(), key,
                                                    parameters));
}

Poco::UInt32 ServiceHelper::getNewCOVSubscriberProcessIdentifier()
{
    static std::atomic<Poco::UInt32> lastIdentifier{0};
    Poco::UInt32 last = lastIdentifier.load();
    while (last != 0xFFFFFFFFu)
    {
        if (lastIdentifier.compare_exchange_weak(last, last + 1))
            return last + 1;
    }
    return 0;
}

Poco::UInt32 ServiceHelper::newRequestId()
{
    static std::atomic<Poco::UInt32> lastId{0};
    Poco::UInt32 id = ++lastId;
    while (id == 0)
        id = ++lastId;
    return id;
}

// ---- plumbing ------------------------------------------------------------------------------------

Poco::NotificationQueue& ServiceHelper::clientQueue() const
{
    Poco::NotificationQueue* pQueue = getQueueBACnetClient();
    if (pQueue == nullptr)
        throw Poco::IllegalStateException("No BACnet client queue to send the request to");
    return *pQueue;
}

Poco::NotificationQueue& ServiceHelper::responseQueue() const
{
    Poco::NotificationQueue* pQueue = getQueueResponse();
    if (pQueue == nullptr)
        throw Poco::IllegalStateException("No queue for the BACnet replies");
    return *pQueue;
}

Poco::UInt64 ServiceHelper::replyTicket()
{
    Poco::NotificationQueue* pQueue = &responseQueue();
    std::lock_guard<std::mutex> lock(_ticketMutex);
    for (const auto& queueAndTicket : _replyTickets)
    {
        if (queueAndTicket.first == pQueue)
            return queueAndTicket.second;
    }
    _replyTickets.emplace_back(pQueue, ReplyQueueRegistry::open(pQueue));
    return _replyTickets.back().second;
}

Poco::UInt32 ServiceHelper::post(NotificationRequest* pRequest)
{
    NotificationRequest::Ptr request(pRequest);
    if (!ClientWorker::startDirectly(&clientQueue(), request))
        clientQueue().enqueueNotification(request);
    return request->getRequestId();
}

ServiceHelper::SyncReslut ServiceHelper::awaitReplies(Poco::UInt32 requestId, const ReplyTaker& take)
{
    return awaitReply([requestId](Poco::UInt32 repliedTo) { return repliedTo == requestId; }, take, false)
               ? SYNC_RESULT_SUCCESS
               : SYNC_RESULT_STOP;
}

bool ServiceHelper::awaitReply(const std::function<bool(Poco::UInt32 requestId)>& awaited,
                               const ReplyTaker& take, bool keepAnswer)
{
    Poco::NotificationQueue& queue = responseQueue();
    std::vector<Poco::AutoPtr<Poco::Notification>> setAside;
    for (;;)
    {
        // Read on this thread: a page of log records reaches the queue unread.
        Poco::AutoPtr<Poco::Notification> pNf(
            NotificationResponseUnread::readIfUnread(queue.waitDequeueNotification()));
        if (pNf.isNull())
            continue;
        if (isStopRequest(pNf.get()))
        {
            putBack(queue, setAside);
            queue.enqueueUrgentNotification(pNf);
            return false;
        }
        auto* pReply = dynamic_cast<NotificationResponseBase*>(pNf.get());
        if (pReply == nullptr || !awaited(pReply->getRequestId()))
        {
            setAside.push_back(pNf);
        }
        else if (take(*pReply))
        {
            if (keepAnswer)
                setAside.push_back(pNf);
            putBack(queue, setAside);
            return true;
        }
    }
}

void ServiceHelper::putBack(Poco::NotificationQueue& queue,
                            std::vector<Poco::AutoPtr<Poco::Notification>>& setAside)
{
    // Urgent notifications go to the front: putting the newest back first restores the original order
    // ahead of everything that arrived after the wait.
    for (auto it = setAside.rbegin(); it != setAside.rend(); ++it)
        queue.enqueueUrgentNotification(*it);
    setAside.clear();
}

bool ServiceHelper::isStopRequest(Poco::Notification* pNf)
{
    auto* pHostNf = dynamic_cast<Orvik::Utility::Notification*>(pNf);
    return pHostNf != nullptr && pHostNf->getAction() == Orvik::Utility::Notification::STOP_RUNNING;
}

void ServiceHelper::storeError(const NotificationResponseBase& reply, DataError* pError)
{
    if (pError == nullptr)
        return;
    if (const auto* pReplyError = dynamic_cast<const NotificationResponse<DataError>*>(&reply))
        *pError = pReplyError->getResponse();
    else
        *pError = DataError(ERROR_CLASS_SERVICES, ERROR_CODE_OTHER);
}

}  // namespace Orvik::BACnet::Client
