#include "AnswerHandOver.h"

namespace Orvik::BACnet::Client::IP
{

AnswerHandOver::Answers AnswerHandOver::release()
{
    _holding = false;
    Answers kept;
    kept.swap(_kept);
    return kept;
}

void AnswerHandOver::handOver(NetworkListener& listener, Answers answers)
{
    // All read before the first is posted: the requester, once woken, finds every answer that came.
    std::vector<NetworkReply> replies;
    replies.reserve(answers.size());
    for (Answer& answer : answers)
        replies.push_back(read(answer));
    for (std::size_t i = 0; i < answers.size(); ++i)
        listener.onReply(answers[i].transactionId, std::move(replies[i]));
}

void AnswerHandOver::onReply(Poco::UInt32 transactionId, NetworkReply reply)
{
    if (_holding)
        _kept.push_back(Answer{transactionId, std::move(reply), nullptr, {}});
    else
        _pListener->onReply(transactionId, std::move(reply));
}

void AnswerHandOver::onAck(Poco::UInt32 transactionId, std::unique_ptr<ConfirmedRequest> pRequest,
                           Codec::Octets ack)
{
    Answer answer{transactionId, NetworkReply(NetworkReply::Ack()), std::move(pRequest), std::move(ack)};
    if (_holding)
        _kept.push_back(std::move(answer));
    else
        _pListener->onReply(transactionId, read(answer));
}

NetworkReply AnswerHandOver::read(Answer& answer)
{
    if (!answer.pUnread)
        return std::move(answer.reply);
    answer.pUnread->takeAck(answer.ack);
    return answer.pUnread->takeReply();
}

}  // namespace Orvik::BACnet::Client::IP
