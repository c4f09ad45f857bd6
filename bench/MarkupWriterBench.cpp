// Throughput of the markup writers on a trend log export document, against a plain std::ostream write of
// the same bytes and against two independent writers of the same document, all in the same run:
// RapidJSON's Writer into its own StringBuffer for JSON and libxml2's xmlTextWriter for XML.
//
// Our writers go to a std::ostream over a buffered sink that drops what it is given, like a socket stream
// whose network is infinitely fast, so the figures show the cost of producing the bytes and nothing else.
// Times are the thread's CPU time, so that other work on a shared machine does not skew the ratios.

#include "Orvik_BACnet/WS/MarkupFactoryJSON.h"
#include "Orvik_BACnet/WS/MarkupFactoryXML.h"

#include <benchmark/benchmark.h>
#include <libxml/xmlwriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <time.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

using Orvik::BACnet::WS::MarkupFactory;

namespace
{

/// An 8 KiB stream buffer that counts and drops its content, as a buffered socket stream hands it on.
class DiscardingBuffer : public std::streambuf
{
public:
    DiscardingBuffer() : _buffer(8192) { setp(_buffer.data(), _buffer.data() + _buffer.size()); }

    std::size_t count() const { return _count + static_cast<std::size_t>(pptr() - pbase()); }

protected:
    int_type overflow(int_type c) override
    {
        _count += static_cast<std::size_t>(pptr() - pbase());
        setp(_buffer.data(), _buffer.data() + _buffer.size());
        if (!traits_type::eq_int_type(c, traits_type::eof()))
        {
            sputc(traits_type::to_char_type(c));
        }
        return traits_type::not_eof(c);
    }

private:
    std::vector<char> _buffer;
    std::size_t _count = 0;
};

/// The record values of one ReadRange page, prepared once so that only the writing is measured.
struct Record
{
    std::string name, timestamp, value, flags;
};

const int DEVICES = 5, TREND_LOGS = 2, CHANNELS = 3, PAGES = 2, RECORDS = 300;

std::vector<Record> records()
{
    std::vector<Record> page;
    for (int i = 1; i <= RECORDS; ++i)
    {
        page.push_back({std::to_string(i), "2026-12-06T09:" + std::to_string(10 + i % 50) + ":00.000000",
                        std::to_string(20 + i % 7) + "." + std::to_string(i % 100),
                        i % 13 ? "0000" : "0100"});
    }
    return page;
}

/// Our writer as the emitter of the document: the calls the trend log pusher makes.
struct OurEmitter
{
    MarkupFactory& mf;

    void header() { mf.header(); }
    void open(MarkupFactory::BaseType type, const std::string& name, bool startArray = false)
    {
        mf.markup(type, name, MarkupFactory::Options().open().startArray(startArray));
    }
    void leaf(MarkupFactory::BaseType type, const std::string& name, const std::string& value)
    {
        mf.markup(type, name, value);
    }
    void close() { mf.closeOpenMarkup(); }
    void end() { mf.closeAllOpenMarkups(); }
};

/// The same document through RapidJSON's Writer, in our JSON shape (see MarkupFactoryJSON): an element is
/// an object with "$base" and "$value"; the children of a List, or of a parent switched by startArray, are
/// items of "$items" with their name in "$name". Numbers are handed over as raw number text.
class RapidJSONEmitter
{
public:
    explicit RapidJSONEmitter(rapidjson::StringBuffer& buffer) : _writer(buffer) {}

    void header() {}
    void open(MarkupFactory::BaseType type, const std::string& name, bool startArray = false)
    {
        begin(type, name, startArray);
        _open.push_back({MarkupFactory::isCollection(type), false});
    }
    void leaf(MarkupFactory::BaseType type, const std::string& name, const std::string& value)
    {
        begin(type, name, false);
        _writer.Key("$value", 6);
        if (type == MarkupFactory::BT_BOOLEAN)
        {
            _writer.Bool(value == "true");
        }
        else if (type == MarkupFactory::BT_UNSIGNED || type == MarkupFactory::BT_ENUMERATED ||
                 type == MarkupFactory::BT_REAL)
        {
            _writer.RawValue(value.data(), value.size(), rapidjson::kNumberType);
        }
        else
        {
            _writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
        }
        _writer.EndObject();
    }
    void close()
    {
        const Frame frame = _open.back();
        _open.pop_back();
        if (frame.hasItems || frame.itemMode)
        {
            if (!frame.hasItems)
            {
                _writer.Key("$items", 6);
                _writer.StartArray();
            }
            _writer.EndArray();
        }
        _writer.EndObject();
        if (_open.empty())
        {
            _writer.EndObject();
        }
    }
    void end()
    {
        while (!_open.empty())
        {
            close();
        }
    }

private:
    struct Frame
    {
        bool itemMode, hasItems;
    };

    void begin(MarkupFactory::BaseType type, const std::string& name, bool startArray)
    {
        if (_open.empty())
        {
            _writer.StartObject();
        }
        else if ((_open.back().itemMode = _open.back().itemMode || startArray))
        {
            if (!_open.back().hasItems)
            {
                _writer.Key("$items", 6);
                _writer.StartArray();
                _open.back().hasItems = true;
            }
            _writer.StartObject();
            _writer.Key("$name", 5);
            _writer.String(name.data(), static_cast<rapidjson::SizeType>(name.size()));
            writeBase(type);
            return;
        }
        _writer.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()));
        _writer.StartObject();
        writeBase(type);
    }
    void writeBase(MarkupFactory::BaseType type)
    {
        _writer.Key("$base", 5);
        _writer.String(MarkupFactory::baseTypeName(type));
    }

    rapidjson::Writer<rapidjson::StringBuffer> _writer;
    std::vector<Frame> _open;
};

/// The same document through libxml2's text writer: the element is named by the base type and carries
/// its name and value as attributes.
class LibXml2Emitter
{
public:
    explicit LibXml2Emitter(xmlTextWriterPtr writer) : _writer(writer) {}

    void header() { xmlTextWriterStartDocument(_writer, nullptr, nullptr, nullptr); }
    void open(MarkupFactory::BaseType type, const std::string& name, bool = false) { begin(type, name); }
    void leaf(MarkupFactory::BaseType type, const std::string& name, const std::string& value)
    {
        begin(type, name);
        xmlTextWriterWriteAttribute(_writer, BAD_CAST "value", BAD_CAST value.c_str());
        xmlTextWriterEndElement(_writer);
    }
    void close() { xmlTextWriterFullEndElement(_writer); }  // as ours: an opened element gets its end tag
    void end() { xmlTextWriterEndDocument(_writer); }

private:
    void begin(MarkupFactory::BaseType type, const std::string& name)
    {
        xmlTextWriterStartElement(_writer, BAD_CAST MarkupFactory::baseTypeName(type));
        xmlTextWriterWriteAttribute(_writer, BAD_CAST "name", BAD_CAST name.c_str());
    }

    xmlTextWriterPtr _writer;
};

template <class Emitter>
void writeDevice(Emitter& e, int instance, bool startArray, bool withLoggers)
{
    e.open(MarkupFactory::BT_STRUCT, std::to_string(instance), startArray);
    e.leaf(MarkupFactory::BT_ENUMERATED, "system-status", "0");
    e.leaf(MarkupFactory::BT_UNSIGNED, "vendor-identifier", "64701");
    e.leaf(MarkupFactory::BT_STRING, "vendor-name", "Orvik");
    e.leaf(MarkupFactory::BT_STRING, "object-name", "Controller " + std::to_string(instance));
    e.leaf(MarkupFactory::BT_BOOLEAN, "out-of-service", "false");
    if (withLoggers)
    {
        e.open(MarkupFactory::BT_LIST, "loggers");
        for (int log = 1; log <= TREND_LOGS; ++log)
        {
            e.open(MarkupFactory::BT_STRUCT, std::to_string(log), log == 1);
            e.leaf(MarkupFactory::BT_STRING, "object-name", "Room temperature log");
            e.leaf(MarkupFactory::BT_ENUMERATED, "logging-type", "0");
            e.open(MarkupFactory::BT_ARRAY, "channels");
            e.close();
            e.close();
        }
        e.close();
    }
    e.close();
}

/// One record page as the pusher writes it: per channel its identifier and the page's records, each
/// record of 5 elements (the record, its time stamp, the log datum choice, its value, the status flags).
template <class Emitter>
void writePage(Emitter& e, const std::string& pageName, const std::vector<Record>& page)
{
    static const std::string channelNames[] = {"1", "2", "3"};
    e.open(MarkupFactory::BT_LIST, pageName);
    for (int channel = 0; channel < CHANNELS; ++channel)
    {
        e.open(MarkupFactory::BT_STRUCT, channelNames[channel], channel == 0);
        e.leaf(MarkupFactory::BT_OCTET_STRING, "unique-idetnifier", "0020000100000055");
        e.open(MarkupFactory::BT_LIST, "values");
        for (const Record& record : page)
        {
            e.open(MarkupFactory::BT_STRUCT, record.name);
            e.leaf(MarkupFactory::BT_DATE_TIME, "timestamp", record.timestamp);
            e.open(MarkupFactory::BT_CHOICE, "log-datum");
            e.leaf(MarkupFactory::BT_REAL, "real-value", record.value);
            e.close();
            e.leaf(MarkupFactory::BT_BIT_STRING, "status-flags", record.flags);
            e.close();
        }
        e.close();
        e.close();
    }
    e.close();
}

/// The export document in the order the trend log pusher writes it.
template <class Emitter>
void writeDocument(Emitter& e, const std::vector<Record>& page)
{
    e.header();
    e.open(MarkupFactory::BT_STRUCT, "bacnet-2-cloud-trend-log");
    e.leaf(MarkupFactory::BT_STRING, "app-version", "150928A");
    e.leaf(MarkupFactory::BT_STRING, "site-name", "Plant \"North\" <B&C>");
    e.leaf(MarkupFactory::BT_UNSIGNED, "parent-identifier", "17");
    e.open(MarkupFactory::BT_STRUCT, "app-device");
    writeDevice(e, 4194302, false, false);
    e.close();
    e.open(MarkupFactory::BT_LIST, "devices");
    for (int device = 1; device <= DEVICES; ++device)
    {
        writeDevice(e, 100 * device, device == 1, true);
    }
    e.close();
    e.open(MarkupFactory::BT_LIST, "tl-data");
    unsigned pageNumber = 1;
    for (int log = 0; log < DEVICES * TREND_LOGS; ++log)
    {
        for (int p = 0; p < PAGES; ++p)
        {
            writePage(e, std::to_string(pageNumber++), page);
        }
    }
    e.end();
}

std::unique_ptr<MarkupFactory> writer(bool json, std::ostream& os, bool format,
                                      MarkupFactory::HandOver handOver)
{
    if (json)
    {
        return std::make_unique<Orvik::BACnet::WS::MarkupFactoryJSON>(os, format, false, handOver);
    }
    return std::make_unique<Orvik::BACnet::WS::MarkupFactoryXML>(os, format, false, handOver);
}

void writeOurs(bool json, std::ostream& os, bool format, const std::vector<Record>& page,
               MarkupFactory::HandOver handOver = MarkupFactory::HAND_OVER_EACH_CALL)
{
    const std::unique_ptr<MarkupFactory> mf = writer(json, os, format, handOver);
    OurEmitter emitter{*mf};
    writeDocument(emitter, page);
}

/// The CPU time this thread has used.
struct ThreadClock
{
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<ThreadClock>;

    static time_point now()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
    }
};

double seconds(ThreadClock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

/// Our writer against a plain write of its bytes: `ratio` = writer time / plain write time.
void trendLogDocument(benchmark::State& state, bool json, bool format)
{
    const std::vector<Record> page = records();
    std::ostringstream reference;
    writeOurs(json, reference, format, page);
    const std::string bytes = reference.str();

    ThreadClock::duration writerTime{}, plainTime{};
    for (auto _ : state)
    {
        DiscardingBuffer markupSink, plainSink;
        std::ostream markupStream(&markupSink), plainStream(&plainSink);
        const ThreadClock::time_point start = ThreadClock::now();
        writeOurs(json, markupStream, format, page);
        const ThreadClock::time_point written = ThreadClock::now();
        plainStream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        plainTime += ThreadClock::now() - written;
        writerTime += written - start;
        if (markupSink.count() != bytes.size() || plainSink.count() != bytes.size())
        {
            state.SkipWithError("the writer did not write the reference document");
            break;
        }
    }
    const double megabytes =
        static_cast<double>(bytes.size()) * static_cast<double>(state.iterations()) / 1e6;
    state.counters["doc_MB"] = static_cast<double>(bytes.size()) / 1e6;
    state.counters["writer_MB/s"] = megabytes / seconds(writerTime);
    state.counters["plain_MB/s"] = megabytes / seconds(plainTime);
    state.counters["ratio"] = seconds(writerTime) / seconds(plainTime);
}

/// Writes the document with the other writer; returns the size of what it wrote.
std::size_t writePeer(bool json, const std::vector<Record>& page, rapidjson::StringBuffer& jsonBuffer)
{
    if (json)
    {
        jsonBuffer.Clear();
        RapidJSONEmitter emitter(jsonBuffer);
        writeDocument(emitter, page);
        return jsonBuffer.GetSize();
    }
    std::size_t count = 0;
    xmlOutputBufferPtr out = xmlOutputBufferCreateIO(
        [](void* context, const char*, int length)
        {
            *static_cast<std::size_t*>(context) += static_cast<std::size_t>(length);
            return length;
        },
        nullptr, &count, nullptr);
    xmlTextWriterPtr xmlWriter = xmlNewTextWriter(out);
    LibXml2Emitter emitter(xmlWriter);
    writeDocument(emitter, page);
    xmlFreeTextWriter(xmlWriter);  // flushes and frees the output buffer too
    return count;
}

/// Our compact writer against the other writer of the same document in the same iteration:
/// `peer_ratio` = the other writer's time / ours, above 1 when ours is faster.
void againstPeer(benchmark::State& state, bool json, MarkupFactory::HandOver handOver)
{
    const std::vector<Record> page = records();
    rapidjson::StringBuffer jsonBuffer;
    std::ostringstream reference;
    writeOurs(json, reference, false, page);
    const std::size_t peerSize = writePeer(json, page, jsonBuffer);
    // The JSON texts are the same bytes; libxml2 adds a line end after the declaration and at the end,
    // and without an encoding name it leaves out the declaration's encoding="UTF-8".
    const std::size_t expectedPeerSize = json ? reference.str().size() : reference.str().size() + 2 - 17;
    if (peerSize != expectedPeerSize ||
        (json && reference.str() != std::string(jsonBuffer.GetString(), jsonBuffer.GetSize())))
    {
        state.SkipWithError("the other writer did not write our document");
        return;
    }

    ThreadClock::duration oursTime{}, peerTime{};
    for (auto _ : state)
    {
        DiscardingBuffer sink;
        std::ostream stream(&sink);
        const ThreadClock::time_point start = ThreadClock::now();
        writeOurs(json, stream, false, page, handOver);
        const ThreadClock::time_point ours = ThreadClock::now();
        const std::size_t size = writePeer(json, page, jsonBuffer);
        peerTime += ThreadClock::now() - ours;
        oursTime += ours - start;
        if (sink.count() != reference.str().size() || size != expectedPeerSize)
        {
            state.SkipWithError("a writer did not write the whole document");
            break;
        }
    }
    const double megabytes =
        static_cast<double>(reference.str().size()) * static_cast<double>(state.iterations()) / 1e6;
    state.counters["ours_MB/s"] = megabytes / seconds(oursTime);
    state.counters["peer_MB/s"] = megabytes / seconds(peerTime);
    state.counters["peer_ratio"] = seconds(peerTime) / seconds(oursTime);
}

}  // namespace

BENCHMARK_CAPTURE(trendLogDocument, xml_compact, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(trendLogDocument, xml_formatted, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(trendLogDocument, json_compact, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(trendLogDocument, json_formatted, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(againstPeer, json_each_call_vs_rapidjson, true, MarkupFactory::HAND_OVER_EACH_CALL)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(againstPeer, json_in_chunks_vs_rapidjson, true, MarkupFactory::HAND_OVER_IN_CHUNKS)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(againstPeer, xml_each_call_vs_libxml2, false, MarkupFactory::HAND_OVER_EACH_CALL)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(againstPeer, xml_in_chunks_vs_libxml2, false, MarkupFactory::HAND_OVER_IN_CHUNKS)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
