#pragma once

#include "Eventually.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

namespace Orvik::Test
{

/// What the test apps did ("create 3", "start 3", "delete 3" ...), in order, from any thread.
class AppJournal
{
public:
    void record(const std::string& entry)
    {
        const std::lock_guard<std::mutex> lock(_mutex);
        _entries.push_back(entry);
    }
    std::vector<std::string> starting(const std::string& prefix)
    {
        const std::lock_guard<std::mutex> lock(_mutex);
        std::vector<std::string> result;
        std::copy_if(_entries.begin(), _entries.end(), std::back_inserter(result),
                     [&](const std::string& entry) { return entry.rfind(prefix, 0) == 0; });
        return result;
    }
    long count(const std::string& entry)
    {
        const std::vector<std::string> found = starting(entry);
        return std::count(found.begin(), found.end(), entry);
    }
    bool waitFor(const std::string& entry, long times = 1)
    {
        return eventually([&] { return count(entry) >= times; }, std::chrono::seconds(60));
    }

private:
    std::mutex _mutex;
    std::vector<std::string> _entries;
};

}  // namespace Orvik::Test
