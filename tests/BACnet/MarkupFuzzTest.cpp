// Markup validity fuzz: seeded random call sequences, and documents shaped like the trend log export, are
// written with both writers in both formats and read back with Poco's parsers and with Python's own xml
// and json modules. Every name and value must come back as the expected text.

#include "MarkupTestTree.h"
#include "Orvik_BACnet/WS/MarkupFactoryJSON.h"
#include "Orvik_BACnet/WS/MarkupFactoryXML.h"

#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/Path.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>
#include <Poco/StreamCopier.h>
#include <Poco/TemporaryFile.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <sstream>

using MarkupTest::Node;
using Orvik::BACnet::WS::MarkupFactory;

namespace
{

/// Bytes as written, and the text the document must give back in XML and in JSON.
struct Text
{
    std::string raw, xml, json;
};

Text operator+(const Text& a, const Text& b)
{
    return {a.raw + b.raw, a.xml + b.xml, a.json + b.json};
}

const std::string FFFD = "\xEF\xBF\xBD";

// Pieces of names and values. No piece ends in an incomplete sequence or starts with a continuation byte
// that could complete one, so the expected text of a concatenation is the concatenation of the pieces'.
const std::vector<Text> PIECES = {
    {"site-name", "site-name", "site-name"},
    {"a b", "a b", "a b"},
    {"\"", "\"", "\""},
    {"'", "'", "'"},
    {"<", "<", "<"},
    {">", ">", ">"},
    {"&", "&", "&"},
    {"&amp;", "&amp;", "&amp;"},
    {"]]>", "]]>", "]]>"},
    {"</String>", "</String>", "</String>"},
    {"\\", "\\", "\\"},
    {"\\u0041", "\\u0041", "\\u0041"},
    {"{\"$base\":[", "{\"$base\":[", "{\"$base\":["},
    {"$items", "$items", "$items"},
    {"\t\n\r", "\t\n\r", "\t\n\r"},
    {std::string(1, '\0'), FFFD, std::string(1, '\0')},
    {"\x01\x1f", FFFD + FFFD, "\x01\x1f"},
    {"\x7f", "\x7f", "\x7f"},
    {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
     "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
    {"\xE2\x80\xA8", "\xE2\x80\xA8", "\xE2\x80\xA8"},
    {"\xEF\xBF\xBE", FFFD, "\xEF\xBF\xBE"},
    {"caf\xE9 ", "caf" + FFFD + " ", "caf" + FFFD + " "},
    {"\xFF", FFFD, FFFD},
    {"\x80", FFFD, FFFD},
    {"\xC3x", FFFD + "x", FFFD + "x"},
    {"\xE2\x82x", FFFD + "x", FFFD + "x"},
    {"\xF0\x9F\x98x", FFFD + "x", FFFD + "x"},
    {"\xC0\xAF", FFFD + FFFD, FFFD + FFFD},
    {"\xED\xA0\x80", FFFD + FFFD + FFFD, FFFD + FFFD + FFFD},
    {"\xF4\x90\x80\x80", FFFD + FFFD + FFFD + FFFD, FFFD + FFFD + FFFD + FFFD},
};

/// A typed value text and its JSON kind: 'n' number, 'b' boolean, 's' string.
struct Typed
{
    std::string text;
    char jsonKind;
};

const std::vector<Typed> INTEGERS = {
    {"17", 'n'},   {"0", 'n'},   {"-3", 'n'}, {"4294967295", 'n'},
    {"0123", 's'}, {"1.5", 's'}, {"", 's'},   {"123456789012345678901", 's'}};
const std::vector<Typed> REALS = {{"2.5", 'n'},   {"-0.25", 'n'}, {"100", 'n'}, {"NaN", 's'},
                                  {"1e999", 's'}, {"+1", 's'},    {".5", 's'},  {"", 's'}};
const std::vector<Typed> BOOLEANS = {{"true", 'b'}, {"false", 'b'}, {"maybe", 's'}};

/// One markup call and the calls inside it.
struct Call
{
    MarkupFactory::BaseType baseType;
    Text name;
    Text value;
    char jsonKind;
    bool withoutValue;  // the form without a value
    bool startArray;
    bool open;  // closeMarkup false
    std::vector<Call> children;
    // The property form when property is set; baseType and name then hold what the writer derives.
    Poco::UInt32 objectType = 0, property = 0;
};

/// Properties for the property form, with the base type and name that the datatype table gives them.
struct Property
{
    Poco::UInt32 objectType, property;
    MarkupFactory::BaseType baseType;
    std::string name;
};

const Property VENDOR_NAME{8, 121, MarkupFactory::BT_STRING, "vendor-name"};
const Property DEVICE_OBJECT_NAME{8, 77, MarkupFactory::BT_STRING, "object-name"};
const Property VENDOR_IDENTIFIER{8, 120, MarkupFactory::BT_UNSIGNED, "vendor-identifier"};
const Property SYSTEM_STATUS{8, 112, MarkupFactory::BT_ENUMERATED, "system-status"};
const Property DAYLIGHT_SAVINGS{8, 24, MarkupFactory::BT_BOOLEAN, "daylight-savings-status"};
const Property LOG_OBJECT_NAME{20, 77, MarkupFactory::BT_STRING, "object-name"};
const Property LOGGING_TYPE{20, 197, MarkupFactory::BT_ENUMERATED, "logging-type"};
const Property BUFFER_SIZE{20, 126, MarkupFactory::BT_UNSIGNED, "buffer-size"};
const Property ENABLE{20, 133, MarkupFactory::BT_BOOLEAN, "enable"};
const Property PRESENT_VALUE{0, 85, MarkupFactory::BT_REAL, "present-value"};

/// The base type names of the document format, as a consumer reads them.
const std::map<MarkupFactory::BaseType, std::string> BASE_NAMES = {
    {MarkupFactory::BT_NULL, "Null"},
    {MarkupFactory::BT_BOOLEAN, "Boolean"},
    {MarkupFactory::BT_UNSIGNED, "Unsigned"},
    {MarkupFactory::BT_INTEGER, "Integer"},
    {MarkupFactory::BT_REAL, "Real"},
    {MarkupFactory::BT_OCTET_STRING, "OctetString"},
    {MarkupFactory::BT_STRING, "String"},
    {MarkupFactory::BT_BIT_STRING, "BitString"},
    {MarkupFactory::BT_ENUMERATED, "Enumerated"},
    {MarkupFactory::BT_DATE, "Date"},
    {MarkupFactory::BT_TIME, "Time"},
    {MarkupFactory::BT_DATE_TIME, "DateTime"},
    {MarkupFactory::BT_CHOICE, "Choice"},
    {MarkupFactory::BT_STRUCT, "Sequence"},
    {MarkupFactory::BT_LIST, "List"},
    {MarkupFactory::BT_ARRAY, "Array"},
    {MarkupFactory::BT_SEQUENCE_OF, "SequenceOf"},
    {MarkupFactory::BT_OBJECT, "Object"}};

bool isCollection(MarkupFactory::BaseType type)
{
    return type == MarkupFactory::BT_LIST || type == MarkupFactory::BT_ARRAY ||
           type == MarkupFactory::BT_SEQUENCE_OF;
}

Text plain(const std::string& text)
{
    return {text, text, text};
}

Call propertyCall(const Property& property, const Text& value, char jsonKind, bool startArray = false)
{
    Call call{property.baseType, plain(property.name), value, jsonKind, false, startArray, false, {}};
    call.objectType = property.objectType;
    call.property = property.property;
    return call;
}

class Generator
{
public:
    explicit Generator(unsigned seed) : _random(seed) {}

    Call document() { return container(MarkupFactory::BT_STRUCT, randomText(), 0); }

private:
    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(_random); }
    bool chance(int percent) { return static_cast<int>(below(100)) < percent; }

    Text randomText()
    {
        Text text;
        for (std::size_t pieces = below(5); pieces > 0; --pieces)
        {
            text = text + PIECES[below(PIECES.size())];
        }
        return text;
    }

    Call container(MarkupFactory::BaseType type, const Text& name, int depth)
    {
        Call call{type, name, {}, 's', !chance(20), false, true, {}};
        if (!call.withoutValue)
        {
            call.value = randomText();
        }
        const std::size_t count = depth > 3 ? 0 : below(6);
        for (std::size_t i = 0; i < count; ++i)
        {
            // Members of an object need distinct names; collection members need none.
            const Text childName =
                isCollection(type) ? randomText() : randomText() + plain("#" + std::to_string(i));
            // Property forms derive their names, which only collection members may share.
            call.children.push_back(chance(35) ? container(containerType(), childName, depth + 1)
                                    : isCollection(type) && chance(30) ? propertyLeaf()
                                                                       : leaf(childName));
            call.children.back().startArray = chance(15);
        }
        return call;
    }

    MarkupFactory::BaseType containerType()
    {
        static const MarkupFactory::BaseType TYPES[] = {
            MarkupFactory::BT_STRUCT,      MarkupFactory::BT_LIST,   MarkupFactory::BT_ARRAY,
            MarkupFactory::BT_SEQUENCE_OF, MarkupFactory::BT_CHOICE, MarkupFactory::BT_OBJECT};
        return TYPES[below(6)];
    }

    Call propertyLeaf()
    {
        switch (below(4))
        {
            case 0:
                return propertyCall(VENDOR_NAME, randomText(), 's');
            case 1:
                return typedPropertyLeaf(LOGGING_TYPE, INTEGERS);
            case 2:
                return typedPropertyLeaf(ENABLE, BOOLEANS);
            default:
                return typedPropertyLeaf(PRESENT_VALUE, REALS);
        }
    }

    Call typedPropertyLeaf(const Property& property, const std::vector<Typed>& values)
    {
        const Typed& pick = values[below(values.size())];
        return propertyCall(property, plain(pick.text), pick.jsonKind);
    }

    Call leaf(const Text& name)
    {
        static const MarkupFactory::BaseType TYPES[] = {
            MarkupFactory::BT_NULL,    MarkupFactory::BT_BOOLEAN,    MarkupFactory::BT_UNSIGNED,
            MarkupFactory::BT_INTEGER, MarkupFactory::BT_REAL,       MarkupFactory::BT_OCTET_STRING,
            MarkupFactory::BT_STRING,  MarkupFactory::BT_BIT_STRING, MarkupFactory::BT_ENUMERATED,
            MarkupFactory::BT_DATE,    MarkupFactory::BT_TIME,       MarkupFactory::BT_DATE_TIME};
        Call call{TYPES[below(12)], name, {}, 's', chance(10), false, false, {}};
        const std::vector<Typed>* typed = call.baseType == MarkupFactory::BT_BOOLEAN ? &BOOLEANS
                                          : call.baseType == MarkupFactory::BT_REAL  ? &REALS
                                          : call.baseType == MarkupFactory::BT_UNSIGNED ||
                                                  call.baseType == MarkupFactory::BT_INTEGER ||
                                                  call.baseType == MarkupFactory::BT_ENUMERATED
                                              ? &INTEGERS
                                              : nullptr;
        if (typed && !call.withoutValue)
        {
            const Typed& pick = (*typed)[below(typed->size())];
            call.value = plain(pick.text);
            call.jsonKind = pick.jsonKind;
        }
        else if (!call.withoutValue)
        {
            call.value = randomText();
        }
        return call;
    }

    std::mt19937 _random;
};

/// The trend log export as the pusher writes it: header elements, the gateway's device, two collected
/// devices with trend logs and channels, and two record pages of three channels each.
Call trendLogDocument(unsigned seed)
{
    std::mt19937 random(seed);
    const auto text = [&random]()
    { return PIECES[random() % PIECES.size()] + PIECES[random() % PIECES.size()]; };
    const auto leaf = [](MarkupFactory::BaseType type, const Text& name, const Text& value, char kind = 's',
                         bool startArray = false)
    { return Call{type, name, value, kind, false, startArray, false, {}}; };
    const auto open = [](MarkupFactory::BaseType type, const std::string& name, bool startArray = false)
    { return Call{type, plain(name), {}, 's', true, startArray, true, {}}; };
    const auto device = [&](const std::string& instance, bool startArray)
    {
        Call call = open(MarkupFactory::BT_STRUCT, instance, startArray);
        call.children = {propertyCall(SYSTEM_STATUS, plain("operational"), 's'),
                         propertyCall(VENDOR_IDENTIFIER, plain("64701"), 'n'),
                         propertyCall(DEVICE_OBJECT_NAME, text(), 's'),
                         leaf(MarkupFactory::BT_DATE, plain("local-date"), plain("2026-12-06")),
                         propertyCall(DAYLIGHT_SAVINGS, plain("false"), 'b')};
        return call;
    };
    const auto channel = [&](const std::string& number, bool startArray)
    {
        Call call = open(MarkupFactory::BT_STRUCT, number, startArray);
        call.children = {
            leaf(MarkupFactory::BT_OCTET_STRING, plain("unique-idetnifier"), plain("0020000100000055")),
            propertyCall(VENDOR_NAME, text(), 's'),
            leaf(MarkupFactory::BT_STRING, plain("device-name"), text())};
        return call;
    };
    Call root = open(MarkupFactory::BT_STRUCT, "bacnet-2-cloud-trend-log");
    root.children = {leaf(MarkupFactory::BT_STRING, plain("app-version"), plain("150928A"), 's', true),
                     leaf(MarkupFactory::BT_STRING, plain("zumbra-user"), plain("")),
                     leaf(MarkupFactory::BT_STRING, plain("site-name"), text()),
                     leaf(MarkupFactory::BT_UNSIGNED, plain("parent-identifier"), plain("17"), 'n'),
                     leaf(MarkupFactory::BT_STRING, plain("ip-address"), plain("10.0.0.7\n"))};
    Call appDevice = open(MarkupFactory::BT_STRUCT, "app-device");
    appDevice.children.push_back(device("4194302", false));
    Call devices = open(MarkupFactory::BT_LIST, "devices");
    for (const std::string instance : {"100", "200"})
    {
        Call dev = device(instance, instance == "100");
        Call loggers = open(MarkupFactory::BT_LIST, "loggers");
        Call log = open(MarkupFactory::BT_STRUCT, "1");
        log.children = {propertyCall(LOG_OBJECT_NAME, text(), 's'),
                        propertyCall(LOGGING_TYPE, plain("0"), 'n', true),
                        propertyCall(BUFFER_SIZE, plain("1000"), 'n')};
        Call channels = open(MarkupFactory::BT_ARRAY, "channels");
        channels.children = {channel("1", true), channel("2", false), channel("3", false)};
        log.children.push_back(channels);
        loggers.children.push_back(log);
        dev.children.push_back(loggers);
        devices.children.push_back(dev);
    }
    Call data = open(MarkupFactory::BT_LIST, "tl-data");
    for (const std::string page : {"1", "2"})
    {
        Call pageCall = open(MarkupFactory::BT_LIST, page);
        for (const std::string number : {"1", "2", "3"})
        {
            Call values = open(MarkupFactory::BT_LIST, "values");
            for (int record = 1; record <= 20; ++record)
            {
                Call rec = open(MarkupFactory::BT_STRUCT, std::to_string(record));
                rec.children = {leaf(MarkupFactory::BT_DATE_TIME, plain("timestamp"),
                                     plain("2026-12-06T09:15:00.000000")),
                                leaf(MarkupFactory::BT_REAL, plain("real-value"), plain("21.5"), 'n'),
                                leaf(MarkupFactory::BT_BIT_STRING, plain("status-flags"), plain("0000"))};
                values.children.push_back(rec);
            }
            Call chan = channel(number, number == "1");
            chan.children.push_back(values);
            pageCall.children.push_back(chan);
        }
        data.children.push_back(pageCall);
    }
    root.children.push_back(appDevice);
    root.children.push_back(devices);
    root.children.push_back(data);
    return root;
}

void emit(MarkupFactory& mf, const Call& call, bool onLastPath, bool closeAllAtEnd)
{
    if (call.property != 0)
    {
        mf.markup(call.objectType, call.property, call.value.raw, !call.open, call.startArray);
    }
    else if (call.withoutValue)
    {
        mf.markup(call.baseType, call.name.raw, !call.open, call.startArray);
    }
    else
    {
        mf.markup(call.baseType, call.name.raw, call.value.raw, !call.open, call.startArray);
    }
    for (std::size_t i = 0; i < call.children.size(); ++i)
    {
        emit(mf, call.children[i], onLastPath && i + 1 == call.children.size(), closeAllAtEnd);
    }
    if (call.open && !(onLastPath && closeAllAtEnd))
    {
        mf.closeOpenMarkup();
    }
}

std::string write(const Call& document, bool json, bool format, bool closeAllAtEnd)
{
    std::ostringstream out;
    std::unique_ptr<MarkupFactory> mf;
    if (json)
    {
        mf = std::make_unique<Orvik::BACnet::WS::MarkupFactoryJSON>(out, format, false);
    }
    else
    {
        mf = std::make_unique<Orvik::BACnet::WS::MarkupFactoryXML>(out, format, false);
    }
    mf->header();
    emit(*mf, document, true, closeAllAtEnd);
    mf->closeAllOpenMarkups();
    EXPECT_TRUE(mf->complete());
    return out.str();
}

/// Which reader reads the document back. Poco's JSON parser ends member names at an escaped NUL
/// (\u0000, valid JSON), so the comparison with it looks only at the text before the first NUL of each
/// string; the comparison with Python's parser checks all of it.
enum Reader
{
    XML_READER,
    JSON_READER,
    POCO_JSON_READER
};

std::string beforeNul(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

std::string readBack(const Text& text, Reader reader)
{
    return reader == XML_READER ? text.xml : reader == JSON_READER ? text.json : beforeNul(text.json);
}

Node cutAtNul(Node node)
{
    node.name = beforeNul(node.name);
    node.value = beforeNul(node.value);
    for (Node& child : node.children)
    {
        child = cutAtNul(child);
    }
    return node;
}

Node expected(const Call& call, Reader reader)
{
    const bool primitive = !call.open && call.baseType != MarkupFactory::BT_NULL;
    Node node{BASE_NAMES.at(call.baseType), readBack(call.name, reader), false, "", 0, {}};
    node.hasValue = primitive || !call.value.raw.empty();
    if (node.hasValue)
    {
        node.value = readBack(call.value, reader);
        node.kind = reader == XML_READER ? 's' : call.jsonKind;
    }
    for (const Call& child : call.children)
    {
        node.children.push_back(expected(child, reader));
    }
    return node;
}

/// One written document with what it must parse back to.
struct Sample
{
    std::string label, text, expectedByPoco, expectedByPython;
    bool json;
};

std::vector<Sample> samples()
{
    std::vector<Sample> all;
    std::vector<Call> documents;
    for (unsigned seed = 1; seed <= 120; ++seed)
    {
        documents.push_back(Generator(seed).document());
    }
    documents.push_back(trendLogDocument(7));
    documents.push_back(trendLogDocument(8));
    for (std::size_t i = 0; i < documents.size(); ++i)
    {
        for (int variant = 0; variant < 4; ++variant)
        {
            const bool json = variant & 1, format = variant & 2;
            const std::string label = "document " + std::to_string(i) + (json ? " json" : " xml") +
                                      (format ? " formatted" : " compact");
            all.push_back({label, write(documents[i], json, format, i % 3 == 0),
                           MarkupTest::describe(expected(documents[i], json ? POCO_JSON_READER : XML_READER)),
                           MarkupTest::describe(expected(documents[i], json ? JSON_READER : XML_READER)),
                           json});
        }
    }
    return all;
}

/// The trees that markup_check.py builds with Python's xml and json modules, one per file.
Poco::JSON::Array::Ptr readWithPython(const std::vector<std::string>& files)
{
    Poco::Process::Args args{std::string(ORVIK_SOURCE_DIR) + "/tests/BACnet/markup_check.py"};
    args.insert(args.end(), files.begin(), files.end());
    Poco::Pipe output;
    Poco::ProcessHandle process = Poco::Process::launch("/usr/bin/python3", args, nullptr, &output, nullptr);
    Poco::PipeInputStream stream(output);
    std::string text;
    Poco::StreamCopier::copyToString(stream, text);
    EXPECT_EQ(0, process.wait());
    return Poco::JSON::Parser().parse(text).extract<Poco::JSON::Array::Ptr>();
}

Node fromPython(const Poco::JSON::Array& entry)
{
    Node node{
        entry.getElement<std::string>(0), entry.getElement<std::string>(1), !entry.isNull(2), "", 0, {}};
    if (node.hasValue)
    {
        node.value = entry.getElement<std::string>(2);
        node.kind = entry.getElement<std::string>(3).at(0);
    }
    const Poco::JSON::Array::Ptr children = entry.getArray(4);
    for (std::size_t i = 0; i < children->size(); ++i)
    {
        node.children.push_back(fromPython(*children->getArray(static_cast<unsigned>(i))));
    }
    return node;
}

TEST(MarkupFuzz, EveryDocumentParsesBackWithPoco)
{
    for (const Sample& sample : samples())
    {
        SCOPED_TRACE(sample.label + "\n" + sample.text);
        try
        {
            const Node tree =
                sample.json ? cutAtNul(MarkupTest::readJson(sample.text)) : MarkupTest::readXml(sample.text);
            EXPECT_EQ(sample.expectedByPoco, MarkupTest::describe(tree));
        }
        catch (const Poco::Exception& e)
        {
            ADD_FAILURE() << "Poco parser refused the document: " << e.displayText();
        }
    }
}

TEST(MarkupFuzz, EveryDocumentParsesBackWithPython)
{
    Poco::TemporaryFile folder;
    folder.createDirectories();
    const std::vector<Sample> all = samples();
    std::vector<std::string> files;
    for (std::size_t i = 0; i < all.size(); ++i)
    {
        files.push_back(
            Poco::Path(folder.path(), std::to_string(i) + (all[i].json ? ".json" : ".xml")).toString());
        Poco::FileOutputStream(files.back(), std::ios::binary) << all[i].text;
    }
    const Poco::JSON::Array::Ptr results = readWithPython(files);
    ASSERT_EQ(all.size(), results->size());
    for (std::size_t i = 0; i < all.size(); ++i)
    {
        SCOPED_TRACE(all[i].label + "\n" + all[i].text);
        const Poco::JSON::Object::Ptr result = results->getObject(static_cast<unsigned>(i));
        ASSERT_FALSE(result->has("error")) << result->getValue<std::string>("error");
        EXPECT_EQ(all[i].expectedByPython, MarkupTest::describe(fromPython(*result->getArray("tree"))));
    }
}

}  // namespace
