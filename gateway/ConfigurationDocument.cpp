#include "ConfigurationDocument.h"

#include <Poco/Exception.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/JSONException.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/ParseHandler.h>
#include <Poco/JSON/Parser.h>
#include <Poco/StreamCopier.h>

#include <istream>
#include <ostream>
#include <set>

namespace Orvik::Gateway
{

namespace
{

/// Builds the document like Poco's handler and refuses a member named twice in one object.
class UniqueKeyHandler : public Poco::JSON::ParseHandler
{
public:
    UniqueKeyHandler() : Poco::JSON::ParseHandler(true) {}

    void startObject() override
    {
        _keys.emplace_back();
        ParseHandler::startObject();
    }
    void endObject() override
    {
        _keys.pop_back();
        ParseHandler::endObject();
    }
    void key(const std::string& k) override
    {
        if (!_keys.empty() && !_keys.back().insert(k).second)
            throw Poco::DataFormatException("The member \"" + k + "\" is named twice in one object");
        ParseHandler::key(k);
    }

private:
    std::vector<std::set<std::string>> _keys;
};

std::string where(std::size_t index)
{
    return "instances[" + std::to_string(index) + "]";
}

std::string textOf(const Poco::Dynamic::Var& value, const std::string& context)
{
    if (value.isString() || value.isNumeric() || value.isBoolean())
        return value.toString();
    throw Poco::DataFormatException(context +
                                    ": a value is a JSON string (the stored text), number or boolean");
}

DataInstanceSpec readInstance(const Poco::Dynamic::Var& item, std::size_t index)
{
    const Poco::JSON::Object::Ptr pObject =
        item.type() == typeid(Poco::JSON::Object::Ptr) ? item.extract<Poco::JSON::Object::Ptr>() : nullptr;
    if (pObject.isNull())
        throw Poco::DataFormatException(where(index) + " is not an object");
    DataInstanceSpec wanted;
    if (!pObject->has("name") || !pObject->get("name").isString() || !pObject->has("app") ||
        !pObject->get("app").isString())
        throw Poco::DataFormatException(where(index) + " needs the strings \"name\" and \"app\"");
    wanted.name = pObject->getValue<std::string>("name");
    wanted.app = pObject->getValue<std::string>("app");
    if (pObject->has("enabled"))
    {
        if (!pObject->get("enabled").isBoolean())
            throw Poco::DataFormatException(where(index) + ": \"enabled\" is true or false");
        wanted.enabled = pObject->getValue<bool>("enabled");
    }
    if (pObject->has("parameters"))
    {
        const Poco::JSON::Object::Ptr pParameters = pObject->getObject("parameters");
        if (pParameters.isNull())
            throw Poco::DataFormatException(where(index) + ": \"parameters\" is an object");
        for (const auto& [name, value] : *pParameters)
            wanted.parameters.emplace_back(name, textOf(value, where(index) + ".parameters." + name));
    }
    return wanted;
}

}  // namespace

std::vector<DataInstanceSpec> ConfigurationDocument::read(std::istream& in)
{
    std::string text;
    Poco::StreamCopier::copyToString(in, text);
    Poco::Dynamic::Var document;
    try
    {
        Poco::JSON::Parser parser(new UniqueKeyHandler);
        document = parser.parse(text);
    }
    catch (Poco::DataFormatException&)
    {
        throw;
    }
    catch (Poco::Exception& e)
    {
        throw Poco::DataFormatException("Not a JSON document: " + e.message());
    }
    const Poco::JSON::Object::Ptr pRoot = document.type() == typeid(Poco::JSON::Object::Ptr)
                                              ? document.extract<Poco::JSON::Object::Ptr>()
                                              : nullptr;
    if (pRoot.isNull() || pRoot->getArray("instances").isNull())
        throw Poco::DataFormatException("The document is an object with the array \"instances\"");
    std::vector<DataInstanceSpec> wantedInstances;
    const Poco::JSON::Array::Ptr pInstances = pRoot->getArray("instances");
    for (std::size_t i = 0; i < pInstances->size(); ++i)
        wantedInstances.push_back(readInstance(pInstances->get(i), i));
    return wantedInstances;
}

void ConfigurationDocument::write(std::ostream& out, Poco::Int32 idDvController,
                                  const std::vector<DataConfiguredInstance>& instances, bool withSecrets)
{
    Poco::JSON::Object root(Poco::JSON_PRESERVE_KEY_ORDER);
    root.set("controller", idDvController);
    Poco::JSON::Array list;
    for (const DataConfiguredInstance& instance : instances)
    {
        if (instance.pApp == nullptr)
            continue;
        Poco::JSON::Object item(Poco::JSON_PRESERVE_KEY_ORDER);
        item.set("name", instance.name);
        item.set("app", instance.pApp->name);
        item.set("enabled", instance.enabled);
        Poco::JSON::Object parameters(Poco::JSON_PRESERVE_KEY_ORDER);
        for (const AppCatalogue::Parameter& parameter : instance.pApp->parameters)
        {
            const auto stored = instance.stored.find(parameter.key);
            if (stored != instance.stored.end() && !parameter.keptByApp && (withSecrets || !parameter.secret))
                parameters.set(parameter.name, stored->second);
        }
        item.set("parameters", parameters);
        list.add(item);
    }
    root.set("instances", list);
    root.stringify(out, 2);
    out << '\n';
}

}  // namespace Orvik::Gateway
