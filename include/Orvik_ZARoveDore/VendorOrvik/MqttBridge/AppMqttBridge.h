#pragma once

#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/DataResponseCOV.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/BrokerClient.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/MqttBridgeSettings.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/NotificationSetCommand.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/PointTopics.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BridgeLifecycle.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/CovSubscriptions.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataBridgeTimings.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataSetupParams.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/ObjectIdentities.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/OutageQueue.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/PollSchedule.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/PublishRateLimit.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/SilentDevices.h"

#include <Poco/Clock.h>
#include <Poco/Types.h>

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

/// The bridge for any MQTT broker (app number 503): publishes the values of configured BACnet objects
/// on one topic per point and carries out write commands sent to those topics (PointTopics,
/// PointMessages say how they look).
///
/// Parameters, by position (a NULL value counts as not configured):
///    1 broker URL: mqtt://, mqtts://, ws://, wss:// (required)   10 ALPN protocol name
///    2 client id (default orvik-gateway-<own device instance>)    11 topic prefix (default bacnet)
///    3 keep-alive in s (default 30)                              12 retain values (default false)
///    4 persistent session (default false: clean session)         13 COV lifetime in s (default 240)
///    5 user name (empty: no credentials)                         14 objects to publish
///    6 password                                                  15 objects that accept commands
///    7 CA file (empty: the system's trust store)                 16 outage queue cap in MB (default 10)
///    8 client certificate file (PEM)                             17 rate limit in messages/s (0: none)
///    9 client key file (PEM)                                     18 rate limit in bytes/s (0: none)
///                                                                19 poll interval in s (default 60; 0:
///                                                                never)
/// Unusable parameters (MqttBridgeSettings) throw Poco::InvalidArgumentException "One or more connection
/// parameters missing" after a console line saying why. No configured object: descRun() returns false.
///
/// Values: every published object is subscribed by COV once its units are read (objects without units
/// publish "units": null); a trend log, trend-log-multiple or structured view is left out with a
/// console line (they have no present value to follow). Each notification publishes the subscribed
/// property's value with the status flags it carries, at QoS 1, retained when parameter 12 says so.
/// A point whose subscription is refused or fails is read (present value and status flags, one
/// ReadPropertyMultiple) every poll interval, the first time at once, and each reading is published as a
/// notification would be; a failed reading publishes nothing, as with the cloud bridge. One console line
/// says so: "AppMqttBridge <object> of device <n> refused COV (<error>): read every <s> s". Every renewal
/// subscribes it again; once a subscription is accepted the readings stop ("... by COV again").
///
/// Commands: on <value topic>/set of a commandable object, in any property; the result goes to
/// <value topic>/set/result with the command's correlation data once the device answered (or at once
/// for a refusal, which also prints "AppMqttBridge command error: <why>").
///
/// Outages: values that arise while the broker is out of reach wait in an OutageQueue next to the
/// configuration database ("<database name>.mqtt-bridge-<instance id>.queue"; they survive a restart) and are
/// published in order after the next connect, before any newer value, each marked "replayed":true
/// (its "time" is the original). The values dropped at the queue's cap are counted in one console line
/// at the reconnect: "AppMqttBridge <n> values queued during the outage were dropped at the cap of
/// <cap> MB". Command results are not queued: commands arrive only while connected.
///
/// Quota: with a rate limit (PublishRateLimit) values wait their turn, the newest of each point replacing
/// a waiting one; replayed values pass through it too, status messages and command results do not.
///
/// Connection: <prefix>/status is "online" (retained) after each connect once commands are subscribed,
/// "offline" as the will and at a stop. While the broker cannot be reached the loop tries again every
/// reconnect wait (DataBridgeTimings), however many values arrive meanwhile, and prints why once per outage:
/// "AppMqttBridge cannot connect to <url>: <why>". The stop, the COV renewal and the drain after the stop are
/// those of the cloud bridge.
///
/// Threads: descRun() on the app's thread does all BACnet requests and all publishing; the MQTT client's
/// thread only posts command messages to the app's queue.
class AppMqttBridge : public AppBase
{
public:
    explicit AppMqttBridge(Poco::Int32 idAppInstance,
                           const WatsonMQTT::DataBridgeTimings& timings = WatsonMQTT::DataBridgeTimings());

    bool descRun() override;
    /// "broker connected" or "broker not connected", as the run loop last found the connection.
    std::string statusText() const override;

private:
    using DataObjectKey = Orvik::BACnet::Client::DataObjectKey;

    class PendingCommand
    {
    public:
        std::string resultTopic;
        std::string correlation;
    };

    bool isStopping() const { return _life.isStopping(); }

    void runLoop();
    long checkConnection(long wait);
    void announceOnline();
    void renewSubscriptions();
    void dispatch(const Poco::AutoPtr<Poco::Notification>& pNf);
    void handleStopRequest(const Poco::AutoPtr<Poco::Notification>& pNf);

    /// Reads the units of the published objects of every device, or of the devices whose read failed.
    void requestUnits(bool ofFailedDevicesOnly);
    void unitsFailed(Poco::UInt32 requestId, const Orvik::BACnet::Client::DataError& error);
    void unitsAnswered(Poco::UInt32 deviceInstance,
                       const std::vector<Orvik::BACnet::Client::DataResponseRPM>& responses);
    void covAccepted(const Orvik::BACnet::Client::DataPropertyKey& key);
    void covRefused(const Orvik::BACnet::Client::DataPropertyKey& key,
                    const Orvik::BACnet::Client::DataError& error);
    void pollValue(const WatsonMQTT::DataPolledProperty& polled, std::size_t index);
    void publishPolled(const WatsonMQTT::DataPolledProperty& polled,
                       const std::vector<Orvik::BACnet::Client::DataResponseRPM>& responses);
    void publishCov(const Orvik::BACnet::Client::DataResponseCOV& response);
    /// Publishes the property's value among `values` (of a COV notification or a reading) with the status
    /// flags among them; nothing when the value is missing or failed.
    template <class Values>
    void publishPoint(const DataObjectKey& object, BACNET_PROPERTY_ID property, const Values& values);
    void publishValue(const std::string& topic, const std::string& payload);
    void sendValue(const std::string& topic, const std::string& payload);
    void replayQueue();

    void receiveCommand(const std::string& topic, const std::string& payload, const std::string& correlation);
    void carryOut(const NotificationSetCommand& command);
    void writeAnswered(Poco::UInt32 requestId, const std::string& error);
    void publishResult(const PendingCommand& command, const std::string& error);

    const WatsonMQTT::DataBridgeTimings _timings;
    MqttBridgeSettings _settings;
    WatsonMQTT::DataSetupParams _setup;
    WatsonMQTT::CovSubscriptions _subscriptions;
    WatsonMQTT::ObjectIdentities _objects;
    /// The points whose COV subscription was refused.
    WatsonMQTT::PollSchedule _polls;
    std::unique_ptr<PointTopics> _pTopics;
    std::unique_ptr<BrokerClient> _pClient;
    /// Null when the cap is 0 or there is no database.
    std::unique_ptr<WatsonMQTT::OutageQueue> _pQueue;
    std::unique_ptr<WatsonMQTT::PublishRateLimit> _pLimit;
    /// Units name of every published object whose units were read ("" when it has none).
    std::map<DataObjectKey, std::string> _units;
    /// The devices whose units read failed, read again at each renewal.
    WatsonMQTT::SilentDevices _silent;
    /// Writes on their way, by request id.
    std::map<Poco::UInt32, PendingCommand> _pendingCommands;
    WatsonMQTT::BridgeLifecycle _life;
    std::atomic<bool> _brokerConnected{false};
    /// The failure of this outage was printed.
    bool _outageReported = false;
    Poco::Clock _lastAttempt;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
