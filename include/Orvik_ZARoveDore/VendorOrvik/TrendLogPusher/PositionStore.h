#pragma once

#include <Poco/Types.h>

#include <vector>

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataDevice.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataTrendLog.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// The upload positions of the trend log pusher's trend logs and where they are kept: app parameter 43
/// of the app instance, one list over every trend log of every collected device.
///
/// The store works on the collected devices (not owned; they must outlive it). A position advances
/// in the database only when store() is called, after a confirmed document; reload() puts every
/// position back to the stored one, so that a failed document asks for the same records again.
class PositionStore
{
public:
    using Position = DataTrendLog::Position;

    /// The app parameter that holds the positions.
    static constexpr Poco::Int32 _PROPERTY_ID_LOGGERS = 43;

    PositionStore(std::vector<DataDevice>& devices, Poco::Int32 idAppInstance);

    /// Merges positions into the devices and trend logs: a known trend log (same device, object type
    /// and instance) takes the stored position, an unknown one is appended (not found) to its device,
    /// an unknown device is appended with that trend log.
    void initLoggers(std::vector<Position> positions);
    /// Sets `out` to the positions of all trend logs of all devices, in order.
    void getDevicesAsValueContainer(ValueContainer& out) const;
    /// Stores that list as app parameter 43.
    void dbUpdateLastRetrievedTimestamps() const;
    /// Puts every position back to the stored one; a trend log without a stored position goes back to
    /// time stamp 0 (never confirmed). Exceptions of the database pass.
    void dbGetLastRetrievedTimestamps();
    /// The same after a failure, when nothing may escape: should the read fail, the positions stay at
    /// the start, so the next document repeats records instead of skipping any.
    void reloadAfterFailure();

    /// The device `deviceInstance`, or null.
    DataDevice* findDevice(Poco::UInt32 deviceInstance);

private:
    std::vector<DataDevice>& _devices;
    const Poco::Int32 _idAppInstance;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
