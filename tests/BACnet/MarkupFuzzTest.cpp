// Markup validity fuzz: seeded random call sequences, and documents shaped like the trend log export, are
// written with both writers, plain and formatted, and read back: XML with Poco's DOM parser, JSON with
// Python's own json module (markup_check.py). Every element, name and value must come back as expected.

#include "Orvik_BACnet/WS/MarkupFactoryJSON.h"
#include "Orvik_BACnet/WS/MarkupFactoryXML.h"

#include <Poco/AutoPtr.h>
#include <Poco/DOM/DOMParser.h>
#include <Poco/DOM/Document.h>
#include <Poco/DOM/Element.h>
#include <Poco/FileStream.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/Path.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>
#include <Poco/StreamCopier.h>
#include <Poco/TemporaryFile.h>
#include <Poco/UTF8String.h>
#include <gtest/gtest.h>

#include <random>
#include <sstream>

using MF = Orvik::BACnet::WS::MarkupFactory;

namespace
{

/// Bytes as written, and the text the document must give back in XML and in JSON.
struct Text
{
    std::string raw, xml, json;
    Text() = default;
    Text(const std::string& text) : raw(text), xml(text), json(text) {}
    Text(const char* text) : Text(std::string(text)) {}
    Text(const std::string& raw, const std::string& xml, const std::string& json)
        : raw(raw), xml(xml), json(json)
    {
    }
    Text operator+(const Text& o) const { return {raw + o.raw, xml + o.xml, json + o.json}; }
};

const std::string FFFD = "\xEF\xBF\xBD";

// Pieces of names and values. No piece ends in an incomplete sequence or starts with a continuation byte
// that could complete one, so the expected text of a concatenation is the concatenation of the pieces'.
const std::vector<Text> PIECES = {
    "site-name",
    "a b",
    "\"'<>&",
    "&amp;]]></String>",
    "\\",
    "\\u0041{\"$base\":[",
    "$items",
    "\t\n\r\x7f",
    "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xE2\x80\xA8",
    {std::string(1, '\0'), FFFD, std::string(1, '\0')},
    {"\x01\x1f", FFFD + FFFD, "\x01\x1f"},
    {"\xEF\xBF\xBE", FFFD, "\xEF\xBF\xBE"},
    {"caf\xE9 ", "caf" + FFFD + " ", "caf" + FFFD + " "},
    {"\xFF\x80", FFFD + FFFD, FFFD + FFFD},
    {"\xC3x\xE2\x82x\xF0\x9F\x98x", FFFD + "x" + FFFD + "x" + FFFD + "x",
     FFFD + "x" + FFFD + "x" + FFFD + "x"},
    {"\xC0\xAF\xED\xA0\x80", FFFD + FFFD + FFFD + FFFD + FFFD, FFFD + FFFD + FFFD + FFFD + FFFD},
    {"\xF4\x90\x80\x80", FFFD + FFFD + FFFD + FFFD, FFFD + FFFD + FFFD + FFFD}};

/// Value texts of typed base types with their JSON kind: 'n' number, 'b' boolean, 's' string.
using Typed = std::vector<std::pair<std::string, char>>;
const Typed INTEGERS = {{"17", 'n'},   {"-3", 'n'},  {"4294967295", 'n'},
                        {"0123", 's'}, {"1.5", 's'}, {"", 's'}};
const Typed REALS = {{"2.5", 'n'}, {"-0.25", 'n'}, {"100", 'n'}, {"NaN", 's'}, {"1e999", 's'}, {"+1", 's'}};
const Typed BOOLEANS = {{"true", 'b'}, {"false", 'b'}, {"maybe", 's'}};

/// One markup call and the calls inside it. For the property form (property set), baseType and name
/// hold what the writer derives from the datatype table.
struct Call
{
    MF::BaseType baseType;
    Text name, value;
    char jsonKind;
    bool open, startArray, withoutValue;
    Poco::UInt32 objectType, property;
    std::vector<Call> children;

    static Call leaf(MF::BaseType type, const Text& name, const Text& value, char kind = 's')
    {
        return {type, name, value, kind, false, false, false, 0, 0, {}};
    }
    static Call node(MF::BaseType type, const std::string& name, bool startArray, std::vector<Call> children)
    {
        return {type, Text(name), {}, 's', true, startArray, true, 0, 0, std::move(children)};
    }
    static Call prop(Poco::UInt32 object, Poco::UInt32 id, MF::BaseType type, const std::string& name,
                     const Text& value, char kind = 's', bool startArray = false)
    {
        return {type, Text(name), value, kind, false, startArray, false, object, id, {}};
    }
};

bool isCollection(MF::BaseType type)
{
    return type == MF::BT_LIST || type == MF::BT_ARRAY || type == MF::BT_SEQUENCE_OF;
}

class Generator
{
public:
    explicit Generator(unsigned seed) : _random(seed) {}

    Call document() { return container(MF::BT_STRUCT, text(), 0); }

    Text text()
    {
        Text text;
        for (std::size_t pieces = below(5); pieces > 0; --pieces)
            text = text + PIECES[below(PIECES.size())];
        return text;
    }

private:
    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(_random); }
    bool chance(std::size_t percent) { return below(100) < percent; }
    std::pair<std::string, char> pick(const Typed& values) { return values[below(values.size())]; }

    Call container(MF::BaseType type, const Text& name, int depth)
    {
        static const MF::BaseType TYPES[] = {MF::BT_STRUCT, MF::BT_LIST,        MF::BT_ARRAY,
                                             MF::BT_CHOICE, MF::BT_SEQUENCE_OF, MF::BT_OBJECT};
        Call call{type, name, {}, 's', true, false, !chance(20), 0, 0, {}};
        call.value = call.withoutValue ? Text{} : text();
        for (std::size_t i = 0, count = depth > 3 ? 0 : below(6); i < count; ++i)
        {
            // Members of an object need distinct names, so property forms (fixed names) go into collections.
            const Text childName = isCollection(type) ? text() : text() + Text("#" + std::to_string(i));
            call.children.push_back(chance(35) ? container(TYPES[below(6)], childName, depth + 1)
                                    : isCollection(type) && chance(30) ? property()
                                                                       : leaf(childName));
            call.children.back().startArray = chance(15);
        }
        return call;
    }

    Call property()
    {
        const auto real = pick(REALS), enumerated = pick(INTEGERS);
        return chance(33)   ? Call::prop(8, 121, MF::BT_STRING, "vendor-name", text())
               : chance(50) ? Call::prop(0, 85, MF::BT_REAL, "present-value", Text(real.first), real.second)
                            : Call::prop(20, 197, MF::BT_ENUMERATED, "logging-type", Text(enumerated.first),
                                         enumerated.second);
    }

    Call leaf(const Text& name)
    {
        static const std::pair<MF::BaseType, const Typed*> TYPES[] = {
            {MF::BT_NULL, nullptr},        {MF::BT_STRING, nullptr},     {MF::BT_OCTET_STRING, nullptr},
            {MF::BT_BIT_STRING, nullptr},  {MF::BT_DATE, nullptr},       {MF::BT_BOOLEAN, &BOOLEANS},
            {MF::BT_REAL, &REALS},         {MF::BT_UNSIGNED, &INTEGERS}, {MF::BT_INTEGER, &INTEGERS},
            {MF::BT_ENUMERATED, &INTEGERS}};
        const auto& type = TYPES[below(10)];
        Call call = Call::leaf(type.first, name, {});
        call.withoutValue = chance(10);
        if (!call.withoutValue && type.second)
        {
            const auto value = pick(*type.second);
            call.value = Text(value.first);
            call.jsonKind = value.second;
        }
        else if (!call.withoutValue)
            call.value = text();
        return call;
    }

    std::mt19937 _random;
};

/// The trend log export as the pusher writes it: header elements, the gateway's device, collected devices
/// with a trend log and its channels, and record pages whose channels each carry the page's records.
Call trendLogDocument(unsigned seed)
{
    Generator random(seed);
    const auto device = [&](const std::string& instance, bool startArray, std::vector<Call> more)
    {
        std::vector<Call> children = {
            Call::prop(8, 112, MF::BT_ENUMERATED, "system-status", "operational"),
            Call::prop(8, 120, MF::BT_UNSIGNED, "vendor-identifier", "64701", 'n'),
            Call::prop(8, 77, MF::BT_STRING, "object-name", random.text()),
            Call::prop(8, 24, MF::BT_BOOLEAN, "daylight-savings-status", "false", 'b')};
        children.insert(children.end(), more.begin(), more.end());
        return Call::node(MF::BT_STRUCT, instance, startArray, children);
    };
    const auto channel = [&](const std::string& number, std::vector<Call> more)
    {
        std::vector<Call> children = {
            Call::leaf(MF::BT_OCTET_STRING, "unique-idetnifier", "0020000100000055"),
            Call::leaf(MF::BT_STRING, "device-name", random.text())};
        children.insert(children.end(), more.begin(), more.end());
        return Call::node(MF::BT_STRUCT, number, number == "1", children);
    };
    const Call log =
        Call::node(MF::BT_STRUCT, "1", false,
                   {Call::prop(20, 77, MF::BT_STRING, "object-name", random.text()),
                    Call::prop(20, 197, MF::BT_ENUMERATED, "logging-type", "0", 'n', true),
                    Call::node(MF::BT_ARRAY, "channels", false, {channel("1", {}), channel("2", {})})});
    std::vector<Call> records;
    for (int record = 1; record <= 10; ++record)
    {
        records.push_back(Call::node(MF::BT_STRUCT, std::to_string(record), false,
                                     {Call::leaf(MF::BT_DATE_TIME, "timestamp", "2026-12-06T09:15:00.000001"),
                                      Call::leaf(MF::BT_REAL, "real-value", "21.5", 'n')}));
    }
    const Call values = Call::node(MF::BT_LIST, "values", false, records);
    const Call loggers = Call::node(MF::BT_LIST, "loggers", false, {log});
    const Call page = Call::node(MF::BT_LIST, "1", false, {channel("1", {values}), channel("2", {values})});
    Call root = Call::node(MF::BT_STRUCT, "bacnet-2-cloud-trend-log", false,
                           {Call::leaf(MF::BT_STRING, "app-version", "150928A"),
                            Call::leaf(MF::BT_STRING, "site-name", random.text()),
                            Call::leaf(MF::BT_UNSIGNED, "parent-identifier", "17", 'n'),
                            Call::leaf(MF::BT_STRING, "ip-address", "10.0.0.7\n"),
                            Call::node(MF::BT_STRUCT, "app-device", false, {device("4194302", false, {})}),
                            Call::node(MF::BT_LIST, "devices", false,
                                       {device("100", true, {loggers}), device("200", false, {loggers})}),
                            Call::node(MF::BT_LIST, "tl-data", false, {page, page})});
    root.children[0].startArray = true;
    return root;
}

void emit(MF& mf, const Call& call, bool onLastPath, bool closeAllAtEnd)
{
    if (call.property != 0)
        mf.markup(call.objectType, call.property, call.value.raw, !call.open, call.startArray);
    else if (call.withoutValue)
        mf.markup(call.baseType, call.name.raw, !call.open, call.startArray);
    else
        mf.markup(call.baseType, call.name.raw, call.value.raw, !call.open, call.startArray);
    for (std::size_t i = 0; i < call.children.size(); ++i)
        emit(mf, call.children[i], onLastPath && i + 1 == call.children.size(), closeAllAtEnd);
    if (call.open && !(onLastPath && closeAllAtEnd))
        mf.closeOpenMarkup();
}

std::string write(const Call& document, bool json, bool format, bool closeAllAtEnd)
{
    std::ostringstream out;
    Orvik::BACnet::WS::MarkupFactoryJSON jsonWriter(out, format, false);
    Orvik::BACnet::WS::MarkupFactoryXML xmlWriter(out, format, false);
    MF& mf = json ? static_cast<MF&>(jsonWriter) : xmlWriter;  // the other one never writes
    mf.header();
    emit(mf, document, true, closeAllAtEnd);
    mf.closeAllOpenMarkups();
    EXPECT_TRUE(mf.complete());
    return out.str();
}

/// The tree as the comparisons see it, on one line: Base(name=kind:value)[child;child;], strings escaped.
std::string describe(const std::string& base, const std::string& name, const std::string* value, char kind,
                     const std::vector<std::string>& children)
{
    std::string text = base + "(" + Poco::UTF8::escape(name);
    text += value ? std::string("=") + kind + ":" + Poco::UTF8::escape(*value) + ")" : ")";
    for (std::size_t i = 0; i < children.size(); ++i)
        text += (i == 0 ? "[" : "") + children[i] + (i + 1 == children.size() ? ";]" : ";");
    return text;
}

std::string expected(const Call& call, bool json)
{
    const auto readBack = [json](const Text& text) { return json ? text.json : text.xml; };
    const bool hasValue = (!call.open && call.baseType != MF::BT_NULL) || !call.value.raw.empty();
    const std::string value = readBack(call.value);
    std::vector<std::string> children;
    for (const Call& child : call.children)
        children.push_back(expected(child, json));
    return describe(MF::baseTypeName(call.baseType), readBack(call.name), hasValue ? &value : nullptr,
                    json ? call.jsonKind : 's', children);
}

/// The tree Poco's DOM parser reads from an XML document; throws when it is not well-formed.
std::string fromPoco(const Poco::XML::Element& element)
{
    std::vector<std::string> children;
    for (Poco::XML::Node* child = element.firstChild(); child; child = child->nextSibling())
    {
        if (child->nodeType() == Poco::XML::Node::ELEMENT_NODE)
            children.push_back(fromPoco(static_cast<const Poco::XML::Element&>(*child)));
    }
    const std::string value = element.getAttribute("value");
    return describe(element.nodeName(), element.getAttribute("name"),
                    element.hasAttribute("value") ? &value : nullptr, 's', children);
}

std::string fromPython(const Poco::JSON::Array& entry)
{
    std::vector<std::string> children;
    for (std::size_t i = 0; i < entry.getArray(4)->size(); ++i)
        children.push_back(fromPython(*entry.getArray(4)->getArray(static_cast<unsigned>(i))));
    const std::string value = entry.isNull(2) ? "" : entry.getElement<std::string>(2);
    return describe(entry.getElement<std::string>(0), entry.getElement<std::string>(1),
                    entry.isNull(2) ? nullptr : &value, entry.getElement<std::string>(3)[0], children);
}

/// The trees markup_check.py builds with Python's json module, one result per document.
Poco::JSON::Array::Ptr readWithPython(const std::vector<std::string>& documents)
{
    Poco::TemporaryFile folder;
    folder.createDirectories();
    Poco::Process::Args args{std::string(ORVIK_SOURCE_DIR) + "/tests/BACnet/markup_check.py"};
    for (std::size_t i = 0; i < documents.size(); ++i)
    {
        args.push_back(Poco::Path(folder.path(), std::to_string(i) + ".json").toString());
        Poco::FileOutputStream(args.back(), std::ios::binary) << documents[i];
    }
    Poco::Pipe output;
    Poco::ProcessHandle process = Poco::Process::launch("/usr/bin/python3", args, nullptr, &output, nullptr);
    Poco::PipeInputStream stream(output);
    std::string text;
    Poco::StreamCopier::copyToString(stream, text);
    EXPECT_EQ(0, process.wait());
    return Poco::JSON::Parser().parse(text).extract<Poco::JSON::Array::Ptr>();
}

}  // namespace

// Each format is read back by one independent reader: XML by Poco's DOM parser, JSON by Python's json
// module (all JSON documents in one run of it).
TEST(MarkupFuzz, EveryDocumentReadsBackAsWritten)
{
    std::vector<Call> documents = {trendLogDocument(7), trendLogDocument(8)};
    for (unsigned seed = 1; seed <= 120; ++seed)
        documents.push_back(Generator(seed).document());
    std::vector<std::string> jsonTexts, jsonExpected, jsonLabels;
    for (std::size_t i = 0; i < documents.size() * 4; ++i)
    {
        const bool json = i & 1, format = i & 2;
        const std::string label =
            "document " + std::to_string(i / 4) + (json ? " json" : " xml") + (format ? " formatted" : "");
        const std::string text = write(documents[i / 4], json, format, i % 3 == 0);
        if (json)
        {
            jsonTexts.push_back(text);
            jsonExpected.push_back(expected(documents[i / 4], true));
            jsonLabels.push_back(label);
            continue;
        }
        SCOPED_TRACE(label + "\n" + text);
        try
        {
            Poco::XML::DOMParser parser;
            Poco::AutoPtr<Poco::XML::Document> document = parser.parseString(text);
            EXPECT_EQ(expected(documents[i / 4], false), fromPoco(*document->documentElement()));
        }
        catch (const Poco::Exception& e)
        {
            ADD_FAILURE() << "Poco's parser refused the document: " << e.displayText();
        }
    }
    const Poco::JSON::Array::Ptr results = readWithPython(jsonTexts);
    ASSERT_EQ(jsonTexts.size(), results->size());
    for (std::size_t i = 0; i < jsonTexts.size(); ++i)
    {
        SCOPED_TRACE(jsonLabels[i] + "\n" + jsonTexts[i]);
        const Poco::JSON::Object::Ptr result = results->getObject(static_cast<unsigned>(i));
        ASSERT_FALSE(result->has("error")) << result->getValue<std::string>("error");
        EXPECT_EQ(jsonExpected[i], fromPython(*result->getArray("tree")));
    }
}
