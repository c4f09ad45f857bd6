// Throughput of the markup writers on a trend log export document, against a plain std::ostream write of
// the same bytes in the same run. Each iteration writes the document with the writer and then writes the
// writer's bytes with one ostream::write; the counter "ratio" is writer time / plain write time.
//
// Both go to a std::ostream over a buffered sink that drops what it is given, like a socket stream whose
// network is infinitely fast, so the figures show the cost of producing the bytes and nothing else. Times
// are the thread's CPU time, so that other work on a shared machine does not skew the ratio.

#include "Orvik_BACnet/WS/MarkupFactoryJSON.h"
#include "Orvik_BACnet/WS/MarkupFactoryXML.h"

#include <benchmark/benchmark.h>

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

void writeDevice(MarkupFactory& mf, int instance, bool startArray, bool withLoggers)
{
    mf.markup(MarkupFactory::BT_STRUCT, std::to_string(instance), false, startArray);
    mf.markup(8u, 112u, "0", true, false);
    mf.markup(8u, 120u, "64701", true, false);
    mf.markup(8u, 121u, "Orvik", true, false);
    mf.markup(8u, 77u, "Controller " + std::to_string(instance), true, false);
    mf.markup(8u, 24u, "false", true, false);
    if (withLoggers)
    {
        mf.markup(MarkupFactory::BT_LIST, "loggers", false, false);
        for (int log = 1; log <= TREND_LOGS; ++log)
        {
            mf.markup(MarkupFactory::BT_STRUCT, std::to_string(log), false, log == 1);
            mf.markup(20u, 77u, "Room temperature log", true, false);
            mf.markup(20u, 197u, "0", true, true);
            mf.markup(MarkupFactory::BT_ARRAY, "channels", false, false);
            mf.closeOpenMarkup();
            mf.closeOpenMarkup();
        }
        mf.closeOpenMarkup();
    }
    mf.closeOpenMarkup();
}

void writePage(MarkupFactory& mf, unsigned pageNumber, const std::vector<Record>& page)
{
    mf.markup(MarkupFactory::BT_LIST, std::to_string(pageNumber), false, false);
    for (int channel = 1; channel <= CHANNELS; ++channel)
    {
        mf.markup(MarkupFactory::BT_STRUCT, std::to_string(channel), false, channel == 1);
        mf.markup(MarkupFactory::BT_OCTET_STRING, "unique-idetnifier", "0020000100000055", true, false);
        mf.markup(MarkupFactory::BT_LIST, "values", false, false);
        for (const Record& record : page)
        {
            mf.markup(MarkupFactory::BT_STRUCT, record.name, false, false);
            mf.markup(MarkupFactory::BT_DATE_TIME, "timestamp", record.timestamp, true, false);
            mf.markup(MarkupFactory::BT_REAL, "real-value", record.value, true, false);
            mf.markup(MarkupFactory::BT_BIT_STRING, "status-flags", record.flags, true, false);
            mf.closeOpenMarkup();
        }
        mf.closeOpenMarkup();
        mf.closeOpenMarkup();
    }
    mf.closeOpenMarkup();
}

/// The export document in the order the trend log pusher writes it.
void writeDocument(MarkupFactory& mf, const std::vector<Record>& page)
{
    mf.header();
    mf.markup(MarkupFactory::BT_STRUCT, "bacnet-2-cloud-trend-log", false, false);
    mf.markup(MarkupFactory::BT_STRING, "app-version", "150928A", true, true);
    mf.markup(MarkupFactory::BT_STRING, "site-name", "Plant \"North\" <B&C>", true, false);
    mf.markup(MarkupFactory::BT_UNSIGNED, "parent-identifier", "17", true, false);
    mf.markup(MarkupFactory::BT_STRUCT, "app-device", false, false);
    writeDevice(mf, 4194302, false, false);
    mf.closeOpenMarkup();
    mf.markup(MarkupFactory::BT_LIST, "devices", false, false);
    for (int device = 1; device <= DEVICES; ++device)
    {
        writeDevice(mf, 100 * device, device == 1, true);
    }
    mf.closeOpenMarkup();
    mf.markup(MarkupFactory::BT_LIST, "tl-data", false, false);
    unsigned pageNumber = 1;
    for (int log = 0; log < DEVICES * TREND_LOGS; ++log)
    {
        for (int p = 0; p < PAGES; ++p)
        {
            writePage(mf, pageNumber++, page);
        }
    }
    mf.closeAllOpenMarkups();
}

std::unique_ptr<MarkupFactory> writer(bool json, std::ostream& os, bool format)
{
    if (json)
    {
        return std::make_unique<Orvik::BACnet::WS::MarkupFactoryJSON>(os, format, false);
    }
    return std::make_unique<Orvik::BACnet::WS::MarkupFactoryXML>(os, format, false);
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

void trendLogDocument(benchmark::State& state, bool json, bool format)
{
    using Clock = ThreadClock;
    const std::vector<Record> page = records();
    std::ostringstream reference;
    writeDocument(*writer(json, reference, format), page);
    const std::string bytes = reference.str();

    Clock::duration writerTime{}, plainTime{};
    for (auto _ : state)
    {
        DiscardingBuffer markupSink, plainSink;
        std::ostream markupStream(&markupSink), plainStream(&plainSink);
        const Clock::time_point start = Clock::now();
        writeDocument(*writer(json, markupStream, format), page);
        const Clock::time_point written = Clock::now();
        plainStream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        plainTime += Clock::now() - written;
        writerTime += written - start;
        if (markupSink.count() != bytes.size() || plainSink.count() != bytes.size())
        {
            state.SkipWithError("the writer did not write the reference document");
            break;
        }
    }
    const double megabytes =
        static_cast<double>(bytes.size()) * static_cast<double>(state.iterations()) / 1e6;
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    state.counters["doc_MB"] = static_cast<double>(bytes.size()) / 1e6;
    state.counters["writer_MB/s"] = megabytes / seconds(writerTime);
    state.counters["plain_MB/s"] = megabytes / seconds(plainTime);
    state.counters["ratio"] = seconds(writerTime) / seconds(plainTime);
}

}  // namespace

BENCHMARK_CAPTURE(trendLogDocument, xml_compact, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(trendLogDocument, xml_formatted, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(trendLogDocument, json_compact, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(trendLogDocument, json_formatted, true, true)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
