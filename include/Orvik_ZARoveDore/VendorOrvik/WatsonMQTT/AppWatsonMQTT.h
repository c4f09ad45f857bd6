#ifndef ORVIK_ZAROVEDORE_VENDORORVIK_WATSONMQTT_APPWATSONMQTT_H
#define ORVIK_ZAROVEDORE_VENDORORVIK_WATSONMQTT_APPWATSONMQTT_H

#include "Orvik_BACnetClient/DataResponseCOV.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_Watson/CommandCallback.h"
#include "Orvik_Watson/DataConnection.h"
#include "Orvik_Watson/GatewayClient.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataCOVSubscriber.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataPolledProperty.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataSetupParams.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataWatsonKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"

#include <Poco/Clock.h>
#include <Poco/HashMap.h>
#include <Poco/JSON/Object.h>
#include <Poco/ThreadPool.h>
#include <Poco/Types.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
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
///   6 authentication token (fatal)
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
/// The run loop reconnects at the latest every 15 s while the platform cannot be reached and at
/// every notification in between, subscribes to its commands again after each connection, renews
/// the COV subscriptions every half lifetime (a lifetime of 0 subscribes without time limit and is
/// never renewed), and after the stop request cancels them and ends after one quiet second (at most
/// 5 s after the cancellation, should a device go on sending); identities read after the stop request
/// subscribe nothing. An exception in the loop prints "BACnet to Watson IoT Exception ignored" and asks
/// for a restart.
///
/// Threads: descRun() runs on the app's pool thread and does all BACnet subscribing, publishing and
/// connecting. processCommand() runs on the MQTT client's thread; it only reads the stop flag (an
/// atomic) and the commandable objects (under a mutex), posts write requests and starts BACnet/WS
/// jobs on the bridge's pool, which hand their replies back through the app's queue.
class AppWatsonMQTT : public AppBase, public Watson_IOTP::CommandCallback
{
public:
    enum Flags : Poco::UInt8
    {
        F_PUBLISH = 1,
        F_SUBSCRIBE = 2
    };

    explicit AppWatsonMQTT(Poco::Int32 idAppInstance);
    /// Waits for running BACnet/WS jobs, then releases the pool.
    ~AppWatsonMQTT() override;

    bool descRun() override;
    void processCommand(Watson_IOTP::Command& command) override;

    /// "AppWatsonMQTT " (with the trailing blank).
    const std::string& appName() const;

    /// Object key: device instance in the high 32 bits, encoded object identifier in the low 32 bits.
    static Poco::UInt64 getKey(Poco::UInt32 deviceInstance, Poco::UInt32 objectIdentifier);
    static void getKey(Poco::UInt64 key, Poco::UInt32& deviceInstance, Poco::UInt32& objectIdentifier);

private:
    using ValueIterator = std::vector<ValueContainer>::const_iterator;
    using NamedValues = std::vector<EventText::NamedValue>;

    static constexpr long _RETRY_WAIT_MS = 15000;
    static constexpr long _DRAIN_WAIT_MS = 1000;
    /// The longest the app drains its queue after the cancelling pass.
    static constexpr long _DRAIN_LIMIT_MS = 5000;
    /// The longest single wait: keeps millisecond counts within 32 bits on the 32-bit controller.
    static constexpr long _MAX_WAIT_MS = 3600000;

    // parameters
    bool initWatsonConnectionParameters(ValueIterator& it, ValueIterator end);
    bool isUsableGateway() const;
    void initBACnetSetupParameters(ValueIterator& it, ValueIterator end);
    void initKeyFlags(ValueIterator& it, ValueIterator end, Flags flag);

    // run loop
    void runLoop();
    long checkConnection(long wait);
    void subscribeCommands();
    bool renewalDue() const;
    void renewSubscriptions();
    long pollDueProperties(long wait);
    void pollProperty(std::size_t index);
    void dispatch(const Poco::AutoPtr<Poco::Notification>& pNf);
    void handleStopRequest(const Poco::AutoPtr<Poco::Notification>& pNf);
    long renewalWaitMs() const;

    // identities and COV
    void bacnetRequestProperties();
    void bacnetRequestPropertiesResult(Poco::UInt32 deviceInstance,
                                       const std::vector<Orvik::BACnet::Client::DataResponseRPM>& responses);
    void enterObject(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& objectIdentifier,
                     DataWatsonKey& watson, bool useCov);
    /// Why these names cannot be used on the platform; empty when they can.
    std::string identityProblem(const DataWatsonKey& watson) const;
    void bacnetCovSubscribe(Poco::UInt64 covKey, BACNET_PROPERTY_ID propertyIdentifier, bool cancel);
    void watsonPublishCovResponse(const Orvik::BACnet::Client::DataResponseCOV& response);
    void watsonPublishPolledValues(Poco::UInt32 requestId,
                                   const std::vector<Orvik::BACnet::Client::DataResponseRPM>& responses);
    void publishValues(const DataType::ObjectIdentifier& object, Poco::UInt32 deviceInstance,
                       const DataWatsonKey& watson, const NamedValues& values);
    std::string eventWithinLimit(const DataType::ObjectIdentifier& object, Poco::UInt32 deviceInstance,
                                 const DataWatsonKey& watson, const NamedValues& values) const;
    void watsonPublishBACnetWsResponse(BACnetWsHandler& handler);

    // commands (MQTT client's thread)
    void watsonCmdWP(Watson_IOTP::Command& command);
    void writeMember(const DataWatsonKey& device, const std::string& name, const Poco::Dynamic::Var& value,
                     Poco::UInt32 priority);
    void watsonCmdBacnetWS(Watson_IOTP::Command& command);
    void startBACnetWsJob(std::unique_ptr<BACnetWsHandler> job);
    static Poco::UInt32 writePriority(const std::string& name);
    static Poco::JSON::Object::Ptr parseCommandData(const std::string& payload);
    static std::string valueText(const Poco::Dynamic::Var& value);
    bool findCommandable(const std::string& key, Poco::UInt64& objectKey);

    Orvik::MQTT::Watson::DataConnection _connection;
    std::unique_ptr<Orvik::MQTT::Watson::GatewayClient> _pWatsonClient;
    DataSetupParams _setupParamsBACnet;
    Poco::HashMap<Poco::UInt64, DataCOVSubscriber> _publishedCovObjects;
    std::vector<DataPolledProperty> _publishedPolledPorps;
    Poco::HashMap<std::string, Poco::UInt64> _commandableObjects;
    std::mutex _commandableMutex;
    std::atomic<Poco::UInt32> _shuttingDown{0};
    Poco::HashMap<Poco::UInt64, Poco::UInt8> _keyFlags;
    Poco::UInt32 _deviceInstanceGW = 0;
    std::unique_ptr<Poco::ThreadPool> _pBACnetWsThreadPool;
    std::mutex _threadPoolMutex;

    Poco::Clock _renewalClock;
    Poco::Clock _drainClock;
    /// Next reading of each polled property (index into _publishedPolledPorps).
    std::vector<Poco::Clock> _nextPolls;
    /// Outstanding poll requests: request id -> index into _publishedPolledPorps.
    std::map<Poco::UInt32, std::size_t> _pollRequests;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT

#endif
