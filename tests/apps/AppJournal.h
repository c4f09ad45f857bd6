#ifndef ORVIK_TESTS_APPS_APPJOURNAL_H
#define ORVIK_TESTS_APPS_APPJOURNAL_H

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

/// What the test apps did, in order, written from any thread: "create <id>", "start <id>",
/// "delete <id>" and so on. Tests wait for entries instead of sleeping.
class AppJournal
{
public:
    void record(const std::string& entry);
    std::vector<std::string> entries() const;
    /// Entries that start with `prefix`, in order.
    std::vector<std::string> entriesStartingWith(const std::string& prefix) const;
    int count(const std::string& entry) const;
    /// Waits until `entry` has been recorded `times` times. False after a generous safety limit,
    /// so that a broken runtime fails the test instead of hanging it.
    bool waitFor(const std::string& entry, int times = 1) const;

private:
    int countLocked(const std::string& entry) const;

    mutable std::mutex _mutex;
    mutable std::condition_variable _changed;
    std::vector<std::string> _entries;
};

#endif
