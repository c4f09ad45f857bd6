#include "AppJournal.h"

#include <algorithm>
#include <chrono>

namespace
{

const std::chrono::seconds SAFETY_LIMIT(60);

}  // namespace

void AppJournal::record(const std::string& entry)
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _entries.push_back(entry);
    }
    _changed.notify_all();
}

std::vector<std::string> AppJournal::entries() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return _entries;
}

std::vector<std::string> AppJournal::entriesStartingWith(const std::string& prefix) const
{
    std::vector<std::string> matching;
    for (const std::string& entry : entries())
    {
        if (entry.compare(0, prefix.size(), prefix) == 0)
        {
            matching.push_back(entry);
        }
    }
    return matching;
}

int AppJournal::count(const std::string& entry) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return countLocked(entry);
}

bool AppJournal::waitFor(const std::string& entry, int times) const
{
    std::unique_lock<std::mutex> lock(_mutex);
    return _changed.wait_for(lock, SAFETY_LIMIT, [&] { return countLocked(entry) >= times; });
}

int AppJournal::countLocked(const std::string& entry) const
{
    return static_cast<int>(std::count(_entries.begin(), _entries.end(), entry));
}
