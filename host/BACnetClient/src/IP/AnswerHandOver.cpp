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
    for (auto& [transactionId, reply] : answers)
        listener.onReply(transactionId, std::move(reply));
}

void AnswerHandOver::onReply(Poco::UInt32 transactionId, NetworkReply reply)
{
    if (_holding)
        _kept.emplace_back(transactionId, std::move(reply));
    else
        _pListener->onReply(transactionId, std::move(reply));
}

}  // namespace Orvik::BACnet::Client::IP
