#include "Orvik_Watson/Topics.h"

#include <Poco/Exception.h>
#include <Poco/StringTokenizer.h>
#include <Poco/UTF8Encoding.h>

namespace Watson_IOTP
{

bool Topics::isValidLevel(const std::string& level)
{
    if (level.empty() || level.find_first_of("/+#") != std::string::npos)
    {
        return false;
    }
    Poco::UTF8Encoding utf8;
    const auto* bytes = reinterpret_cast<const unsigned char*>(level.data());
    std::size_t position = 0;
    while (position < level.size())
    {
        const int length = utf8.sequenceLength(bytes + position, static_cast<int>(level.size() - position));
        if (length <= 0 || position + static_cast<std::size_t>(length) > level.size() ||
            !Poco::UTF8Encoding::isLegal(bytes + position, length) ||
            isRefusedCharacter(utf8.queryConvert(bytes + position, length)))
        {
            return false;
        }
        position += static_cast<std::size_t>(length);
    }
    return true;
}

bool Topics::isValidEvent(const std::string& typeId, const std::string& deviceId, const std::string& eventId,
                          const std::string& format)
{
    return isValidLevel(typeId) && isValidLevel(deviceId) && isValidLevel(eventId) && isValidLevel(format) &&
           eventTopic(typeId, deviceId, eventId, format).size() <= MAX_TOPIC_BYTES;
}

std::string Topics::event(const std::string& typeId, const std::string& deviceId, const std::string& eventId,
                          const std::string& format)
{
    return checkedLength(eventTopic(checkedLevel(typeId), checkedLevel(deviceId), checkedLevel(eventId),
                                    checkedLevel(format)));
}

std::string Topics::commands(const std::string& typeId, const std::string& deviceId)
{
    return checkedLength("iot-2/type/" + checkedLevel(typeId) + "/id/" + checkedLevel(deviceId) +
                         "/cmd/+/fmt/+");
}

std::unique_ptr<Command> Topics::parseCommand(const std::string& topic, const std::string& payload)
{
    const Poco::StringTokenizer levels(topic, "/");
    if (levels.count() != 9 || levels[0] != "iot-2" || levels[1] != "type" || levels[3] != "id" ||
        levels[5] != "cmd" || levels[7] != "fmt")
    {
        return nullptr;
    }
    return std::make_unique<Command>(levels[2], levels[4], levels[6], levels[8], payload);
}

bool Topics::isRefusedCharacter(int codePoint)
{
    const bool control = codePoint <= 0x1F || (codePoint >= 0x7F && codePoint <= 0x9F);
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    const bool nonCharacter = (codePoint >= 0xFDD0 && codePoint <= 0xFDEF) || (codePoint & 0xFFFE) == 0xFFFE;
    return control || surrogate || nonCharacter;
}

std::string Topics::eventTopic(const std::string& typeId, const std::string& deviceId,
                               const std::string& eventId, const std::string& format)
{
    return "iot-2/type/" + typeId + "/id/" + deviceId + "/evt/" + eventId + "/fmt/" + format;
}

std::string Topics::checkedLength(const std::string& topic)
{
    if (topic.size() > MAX_TOPIC_BYTES)
    {
        throw Poco::InvalidArgumentException("Topic too long", std::to_string(topic.size()) + " bytes");
    }
    return topic;
}

const std::string& Topics::checkedLevel(const std::string& level)
{
    if (!isValidLevel(level))
    {
        throw Poco::InvalidArgumentException("Invalid topic level", level);
    }
    return level;
}

}  // namespace Watson_IOTP
