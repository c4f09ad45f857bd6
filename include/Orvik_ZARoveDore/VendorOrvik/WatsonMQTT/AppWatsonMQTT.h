#pragma once

#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/DataResponseCOV.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_Watson/CommandCallback.h"
#include "Orvik_Watson/GatewayClient.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BACnetWsPool.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BridgeLifecycle.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BridgeSettings.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/CovSubscriptions.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataBridgeTimings.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataPolledProperty.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataWatsonKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventPublisher.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/ObjectIdentities.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/PollSchedule.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/SilentDevices.h"

#include <Poco/Clock.h>
#include <Poco/Types.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

class BACnetWsHandler;

/// The cloud bridge (app number 502): connects the controller to the IoT platform over MQTT as a
/// gateway, publishes the values of configured BACnet objects as events, carries out write commands
/// from the cloud and forwards BACnet/WS requests to the controller's web service.
///
/// Parameters, by position (a parameter whose value is NULL counts as not configured):
///   1 organisation id (fatal if missing)      7 secure port: true 8883 (TLS), false 1883 (fatal)
///   2 domain (default: the platform's)        8 COV subscription lifetime in s (default 240)
///   3 gateway device type (fatal)             9 poll rate in s of objects without COV (default 60)
///   4 gateway device id (fatal)              10 objects to publish (list of device object references)
///   5 authentication method (default token)  11 objects that accept write commands (same)
///   6 authentication token (fatal)          12 outage queue cap in MB (default 10; 0: none)
///                                           13 rate limit in events/s (default 0: none)
///                                           14 rate limit in bytes/s (default 0: none)
/// A missing fatal parameter throws Poco::InvalidArgumentException "One or more connection parameters
/// missing" before anything is sent; so does, after a console line saying why, a gateway type or id
/// that cannot be a topic level and an organisation id that cannot be part of the MQTT client id. No
/// configured object: descRun() returns false at once. For a local broker the domain may name it
/// directly (see Watson_IOTP::BrokerAddress); "Port used: <port>" names the port dialled.
///
/// Identities on the platform: the gateway is the controller's own device (type and id from the
/// parameters); every other device is an attached device of type "<vendor id, 4 digits or more>-<model
/// name>" and id "<device object name>"; a value is named "<object name>_<property name>". Objects
/// whose device names cannot be topic levels or make a topic longer than MQTT allows, or whose object
/// name is empty or holds a TAB, are left out with a console line saying why. No event is larger than
/// the platform accepts (Watson_IOTP::IOTP_Client::MAX_PAYLOAD_BYTES): the values that would make it
/// larger are left out with a console line each, and a BACnet/WS answer that large is replaced by an
/// error reply.
///
/// Events (QoS 1, format json):
///   "COV": {"d":{"<object>_<property>":"<value text>",...}} for each change-of-value notification,
///          and for each reading of an object without COV support (read every poll rate; of a trend
///          log, the newest record of its log buffer, read by ReadRange);
///   "bacnet-ws-<client id>": {"d":{"ws":<answer>}} for a forwarded request, or
///          {"d":{"error":"<why>"}} when the HTTP exchange with the web service failed.
///
/// Commands (format json; others are ignored): "wp", "wp<hex digit>" (write with priority digit + 1;
/// 5 is refused), "bacnet-ws". A refused command prints "AppWatsonMQTT command error: <message>" and
/// writes nothing for the member that failed (members before it in name order are written). A
/// BACnet/WS request is refused, not altered, when its method is not an HTTP token, its path is empty
/// or not visible ASCII, or its client id cannot name the reply event.
///
/// The run loop reconnects at the latest every 15 s (DataBridgeTimings) while the platform cannot be reached
/// and at every notification in between, subscribes to its commands again after each connection, renews the
/// COV subscriptions every half lifetime (a lifetime of 0 subscribes without time limit and is never
/// renewed), and after the stop request cancels them and ends after one quiet second (at most 5 s after the
/// cancellation, should a device go on sending); identities read after the stop request subscribe nothing. An
/// exception in the loop prints "BACnet to Watson IoT Exception ignored" and asks for a restart.
///
/// Threads: descRun() runs on the app's thread and does all BACnet subscribing, publishing and
/// connecting. processCommand() runs on the MQTT client's thread; it only reads the state (an atomic)
/// and the commandable objects (ObjectIdentities serialises that), posts write requests and starts
/// BACnet/WS jobs on the bridge's pool, which hand their replies back through the app's queue.
///
/// The pieces: BridgeSettings reads the parameters, ObjectIdentities keeps the configured objects and
/// their names, PollSchedule the objects read by polling, EventPublisher sends the events, CommandParser
/// checks commands, BACnetWsPool runs the BACnet/WS jobs. This class orchestrates them.
class AppWatsonMQTT : public AppBase, public Watson_IOTP::CommandCallback
{
public:
    using Flags = ObjectIdentities::Flags;
    static constexpr Flags F_PUBLISH = ObjectIdentities::F_PUBLISH;
    static constexpr Flags F_SUBSCRIBE = ObjectIdentities::F_SUBSCRIBE;

    /// `timings`: how long the bridge waits for the platform and its devices.
    explicit AppWatsonMQTT(Poco::Int32 idAppInstance, const DataBridgeTimings& timings = DataBridgeTimings());
    /// Waits for running BACnet/WS jobs, then releases the pool.
    ~AppWatsonMQTT() override;

    bool descRun() override;
    void processCommand(Watson_IOTP::Command& command) override;

    /// "broker connected" or "broker not connected", as the run loop last found the connection.
    std::string statusText() const override;

    /// "AppWatsonMQTT " (with the trailing blank).
    const std::string& appName() const;

private:
    using NamedValues = std::vector<EventText::NamedValue>;
    using DataObjectKey = Orvik::BACnet::Client::DataObjectKey;

    bool isStopping() const { return _life.isStopping(); }

    // run loop
    void runLoop();
    long checkConnection(long wait);
    void subscribeCommands();
    void pollProperty(const DataPolledProperty& polled, std::size_t index);
    void dispatch(const Poco::AutoPtr<Poco::Notification>& pNf);
    void handleStopRequest(const Poco::AutoPtr<Poco::Notification>& pNf);

    // identities and COV
    /// Reads the names every published object needs, of every device or of the silent ones only.
    void bacnetRequestProperties(bool ofSilentDevicesOnly);
    void bacnetRequestPropertiesResult(Poco::UInt32 deviceInstance,
                                       const std::vector<Orvik::BACnet::Client::DataResponseRPM>& responses);
    void enterObject(const DataObjectKey& object, DataWatsonKey& watson, bool useCov);
    void watsonPublishCovResponse(const Orvik::BACnet::Client::DataResponseCOV& response);
    void watsonPublishPolledValues(const DataPolledProperty& polled,
                                   const std::vector<Orvik::BACnet::Client::DataResponseRPM>& responses);

    const DataBridgeTimings _timings;
    BridgeSettings _settings;
    CovSubscriptions _subscriptions;
    std::unique_ptr<Orvik::MQTT::Watson::GatewayClient> _pWatsonClient;
    /// Publishes through _pWatsonClient; lives as long as it.
    std::unique_ptr<EventPublisher> _pPublisher;
    /// Events waiting out an outage; null when parameter 12 is 0 or there is no database.
    std::unique_ptr<OutageQueue> _pQueue;
    ObjectIdentities _objects;
    PollSchedule _polls;
    /// The devices whose names could not be read, read again at each renewal.
    SilentDevices _silent;
    BridgeLifecycle _life;
    /// Connected to the broker with the commands subscribed, as the run loop last found it.
    std::atomic<bool> _brokerConnected{false};
    Poco::UInt32 _deviceInstanceGW = 0;
    BACnetWsPool _bacnetWsPool;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
