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
    for (Answer& answer : answers)
        handOverOne(listener, answer);
}

void AnswerHandOver::onReply(Poco::UInt32 transactionId, NetworkReply reply)
{
    keepOrHandOver(Answer{transactionId, std::move(reply), nullptr});
}

void AnswerHandOver::onUnreadReply(Poco::UInt32 transactionId, std::unique_ptr<UnreadReply> pReply)
{
    keepOrHandOver(Answer{transactionId, std::nullopt, std::move(pReply)});
}

void AnswerHandOver::keepOrHandOver(Answer answer)
{
    if (_holding)
        _kept.push_back(std::move(answer));
    else
        handOverOne(*_pListener, answer);
}

void AnswerHandOver::handOverOne(NetworkListener& listener, Answer& answer)
{
    if (answer.pUnread)
        listener.onUnreadReply(answer.transactionId, std::move(answer.pUnread));
    else
        listener.onReply(answer.transactionId, std::move(*answer.reply));
}

}  // namespace Orvik::BACnet::Client::IP
