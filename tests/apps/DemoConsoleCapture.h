#ifndef ORVIK_TESTS_APPS_DEMOCONSOLECAPTURE_H
#define ORVIK_TESTS_APPS_DEMOCONSOLECAPTURE_H

#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

/// Takes what std::cout and std::cerr receive, from any thread, for the lifetime of the object.
/// The text may be read while apps still write.
class DemoConsoleCapture
{
public:
    DemoConsoleCapture();
    ~DemoConsoleCapture();
    DemoConsoleCapture(const DemoConsoleCapture&) = delete;
    DemoConsoleCapture& operator=(const DemoConsoleCapture&) = delete;

    std::string out() const { return _out.text(); }
    std::string err() const { return _err.text(); }

private:
    /// A buffer without put area, so that every write goes through the locked calls below.
    class LockedBuffer : public std::streambuf
    {
    public:
        std::string text() const;

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* s, std::streamsize n) override;

    private:
        mutable std::mutex _mutex;
        std::string _text;
    };

    LockedBuffer _out;
    LockedBuffer _err;
    std::streambuf* _pPreviousOut;
    std::streambuf* _pPreviousErr;
};

#endif
