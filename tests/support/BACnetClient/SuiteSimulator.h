#pragma once

#include "BACnetDeviceSimulator.h"

#include <memory>
#include <string>

namespace Orvik::Test
{

/// One device simulator shared by the tests of a suite: started from SetUpTestSuite, stopped from
/// TearDownTestSuite. Where the simulator cannot run here, none is started and skipIfMissing() says why.
class SuiteSimulator
{
public:
    void start(const std::string& siteText)
    {
        if (BACnetDeviceSimulator::missing().empty())
            _pSimulator =
                std::make_unique<BACnetDeviceSimulator>(siteText, BACnetDeviceSimulator::Site::TEXT);
    }
    void stop() { _pSimulator.reset(); }

    /// True (the test should skip, with missingReason()) when no simulator runs.
    bool missing() const { return !_pSimulator; }
    static std::string missingReason() { return BACnetDeviceSimulator::missing(); }

    BACnetDeviceSimulator& operator*() const { return *_pSimulator; }
    BACnetDeviceSimulator* operator->() const { return _pSimulator.get(); }

private:
    std::unique_ptr<BACnetDeviceSimulator> _pSimulator;
};

}  // namespace Orvik::Test
