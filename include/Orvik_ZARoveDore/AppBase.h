#pragma once

#include <Poco/NotificationQueue.h>
#include <Poco/Types.h>

#include <ostream>
#include <string>
#include <vector>

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataPropertyRef.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_Utility/NotificationQueueWorker.h"
#include "Orvik_ZARoveDore/DataPropertyValue.h"

namespace Orvik::BACnet::App
{

class AppManager;

/// The base of every app.
///
/// An app is a queue worker with a queue of its own (its read queue, where its BACnet replies and the
/// manager's stop request arrive) and a BACnet client whose requests go to the manager's BACnet client
/// queue. The manager constructs the app with its app instance id on the manager's thread and runs it
/// on a thread of its own, which calls run().
///
/// The app contract:
///   - The app overrides descRun(), its body. It runs once per start. Its result asks the manager to
///     start the instance again (true) or to end it (false).
///   - It reads its parameters with getProperties() inside descRun().
///   - It waits with waitDequeueNotification() on its own queue. What it does not handle itself goes to
///     handleNotification(); a true result (the manager's STOP_RUNNING) makes it leave descRun() at once.
///   - It never deletes itself and never posts its own termination: run() does that.
///
/// Parameter storage: an app's parameters are the rows of ap_app_property of its app, with the values
/// stored for the instance in ap_app_property_instance, or the defaults. They are read as typed values
/// in ascending parameter number (the app-local `id`, not the table key).
class AppBase : public Orvik::Utility::NotificationQueueWorker, public Orvik::BACnet::Client::ServiceHelper
{
public:
    /// The one manager; set by its constructor, null after its destructor.
    static AppManager* _pAppManager;

    /// The app instance id (ap_app_instance.id_ap_app_instance).
    const Poco::Int32 idAppInstance;

    explicit AppBase(Poco::Int32 aIdAppInstance);
    ~AppBase() override;

    /// The app thread's entry: calls descRun(), logs whatever it throws (message 13), and posts
    /// NotificationAppTermination(this, restart) to the manager's queue as its very last action; the
    /// manager may delete the app from then on. An app whose descRun() threw is not restarted: the
    /// cause (usually its configuration) does not mend itself, and a restart would only loop.
    void run() override;

    /// The manager's BACnet client queue, where the app's BACnet requests go.
    Poco::NotificationQueue* getQueueBACnetClient() const override;
    /// The app's own read queue, where its BACnet replies arrive.
    Poco::NotificationQueue* getQueueResponse() const override;
    /// The manager's read queue; null without a manager.
    Poco::NotificationQueue* getQueueAppManager() const;
    /// The device instance of the host's own BACnet server device.
    Poco::UInt32 getBACnetServerDeviceInstance() const;

    /// All parameters of this instance in ascending parameter number. Database exceptions pass.
    std::vector<DataPropertyValue>& getProperties(std::vector<DataPropertyValue>& props) const;
    /// The same, values only; `props` is cleared first.
    std::vector<ValueContainer>& getProperties(std::vector<ValueContainer>& props) const;

    /// Clears `props` and fills it with the parameters of `appInstance`: all of them for a negative
    /// `propertyId`, else only that one. A stored row gives its text (a stored NULL the empty text),
    /// otherwise the parameter's default. Only values stored for `appInstance` itself count.
    static std::vector<DataPropertyValue>& dbGetPropertyInstances(Poco::Int32 appInstance,
                                                                  std::vector<DataPropertyValue>& props,
                                                                  Poco::Int32 propertyId);
    /// Reads one parameter. Returns the number of rows found; on 0 `prop` is left as it was.
    static Poco::Int32 dbGetPropertyInstance(Poco::Int32 appInstance, Poco::Int32 propertyId,
                                             DataPropertyValue& prop);
    /// The same, assigning only the value.
    static Poco::Int32 dbGetPropertyInstance(Poco::Int32 appInstance, Poco::Int32 propertyId,
                                             ValueContainer& prop);
    /// Stores a value for a parameter that has none yet. Returns the rows inserted, -1 on a database
    /// error (logged as message 3040).
    static Poco::Int32 dbInsertPropertyInstance(Poco::Int32 appInstance, Poco::Int32 propertyId,
                                                const ValueContainer& value);
    /// Stores a value: the whole value for `arrayIdx` 0xFFFFFFFF, else merged into the stored value at
    /// that element. A parameter without a stored row gets one inserted (whole value or `arrayIdx` 0
    /// only; for 0 the parameter's value resized to the count). Returns 0, the insert's result, or -1
    /// on a database error (logged as message 3040). A merge that changes nothing writes nothing and
    /// returns 0.
    static Poco::Int32 dbUpdatePropertyInstance(Poco::Int32 appInstance, Poco::Int32 propertyId,
                                                const ValueContainer& value, Poco::UInt32 arrayIdx);
    /// The lowest device instance of a BACnet device of the instance's controller that is not behind a
    /// gateway; 0 when there is none. Database exceptions pass.
    static Poco::UInt32 dbGetParentBACnetDeviceInstance(Poco::Int32 appInstance);

    /// "<tabs>(<type number>)<type name>[<instance>]:"
    static void printObjectHeader(std::ostream& stream, DataType::ObjectIdentifier objectIdentifier,
                                  const std::string& tabs);
    /// "<tabs>(<property number>)<property name>" with " (SINGLE_VALUE):", or "[ALL|COUNT|<index>]" and
    /// " (ARRAY):" / " (LIST):"; "<tabs>Unknown BACnet property" when the property is not known for the
    /// object type.
    static void printPropertyHeader(std::ostream& stream, BACNET_OBJECT_TYPE objType,
                                    const Orvik::BACnet::Client::DataPropertyRef& propertyRef,
                                    const std::string& tabs);
    /// "<tabs>" and the value's text in green.
    static void printPropertyValue(std::ostream& stream, const ValueContainer& value,
                                   const std::string& tabs);
    /// "<tabs>" and the error's text in red.
    static void printError(std::ostream& stream, const DataError& error, const std::string& tabs);

    /// The app's body, run once per start on the app's thread; the result asks for a restart.
    virtual bool descRun() = 0;

    /// A short line on the app's state for the gateway's status report ("" by default). Called by the
    /// manager's thread while the app runs, so it reads only what is safe to read from another thread.
    virtual std::string statusText() const { return ""; }

private:
    bool runBody();
    static void logAppException(const std::string& text);
};

}  // namespace Orvik::BACnet::App
