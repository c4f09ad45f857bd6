#pragma once

#include "Orvik_ZARoveDore/Entities/Ap.h"
#include "Orvik_ZARoveDore/Entities/ApWatchdogShutdownMethod.h"

#include "Orvik_Utility/Watchdog/Parameters.h"

namespace Orvik::Apps::Entity
{

/// A row of ap_watchdog: the watchdog of one controller, with its period and the
/// time its subscribers have to answer, and (once read or added) its shutdown
/// methods, held as ApApp holds its children.
///
/// Converts into the host's Watchdog::Parameters: the period, the subscribers'
/// time-out, the host's session pDB, and the held shutdown methods in the order
/// the watchdog is to try them: ascending "order", equal orders by key. Methods
/// that were never loaded are not in the parameters.
class ApWatchdog : public Ap
{
public:
    using ApWatchdogShutdownMethods = std::map<Poco::Int32, ApWatchdogShutdownMethod>;

    static const ColNames _colNames;
    static constexpr std::size_t _COL_ID_AP_WATCHDOG = 0;
    static constexpr std::size_t _COL_ID_DV_CONTROLLER = 1;
    static constexpr std::size_t _COL_ACTIVE = 2;
    static constexpr std::size_t _COL_NAME = 3;
    static constexpr std::size_t _COL_DESCRIPTION = 4;
    static constexpr std::size_t _COL_FRECUENCY_SEC = 5;
    static constexpr std::size_t _COL_SUBSCRIBERS_TIMEOUT_SEC = 6;

    /// `setAsNew`: a row to insert, with frequency_sec 30 and subscribers_timeout_sec 10.
    explicit ApWatchdog(bool setAsNew = false);

    const std::string& getTableName() const override;
    const ColNames& getColNames() const override;
    /// Stores the key and writes it into id_ap_watchdog of every held shutdown method.
    void setPK(Poco::Int32 pk, bool updateStatus) override;

    /// Reads the row with key `id`.
    Poco::Int32 retrieve(Poco::Int32 id, EntityServer& es);
    /// Reads the watchdog of controller `idDvController` (only an active one when
    /// `activeOnly`); when one is read, its shutdown methods are read as well.
    /// Returns the number of watchdog rows read (0 or 1).
    Poco::Int32 retrieve(Poco::Int32 idDvController, EntityServer& es, bool shutDownMethods, bool activeOnly);

    Poco::Int32 getIdApWatchdog() const { return getPK(); }
    void setIdApWatchdog(Poco::Int32 id) { setPK(id, true); }
    Poco::Int32 getIdDvController() const { return getInt(_COL_ID_DV_CONTROLLER); }
    void setIdDvController(Poco::Int32 id) { setVar(_COL_ID_DV_CONTROLLER, id, true); }
    Poco::Int32 getActive() const { return getInt(_COL_ACTIVE); }
    void setActive(Poco::Int32 active) { setVar(_COL_ACTIVE, active, true); }
    std::string getName() const { return getString(_COL_NAME); }
    void setName(const std::string& name) { setVar(_COL_NAME, name, true); }
    std::string getDescription() const { return getString(_COL_DESCRIPTION); }
    void setDescription(const std::string& description) { setVar(_COL_DESCRIPTION, description, true); }
    Poco::UInt32 getFrequencySec() const { return getUInt(_COL_FRECUENCY_SEC); }
    void setFrequencySec(Poco::UInt32 seconds) { setVar(_COL_FRECUENCY_SEC, seconds, true); }
    Poco::UInt32 getSubscribersTimoutSec() const { return getUInt(_COL_SUBSCRIBERS_TIMEOUT_SEC); }
    void setSubscribersTimoutSec(Poco::UInt32 seconds)
    {
        setVar(_COL_SUBSCRIBERS_TIMEOUT_SEC, seconds, true);
    }

    /// (Re)loads the shutdown methods, ordered by "order"; returns the number read.
    Poco::Int32 retrieveApWatchdogShutdownMethods(const std::string* pWhere = nullptr,
                                                  const Vars* pSelectArgs = nullptr);
    ApWatchdogShutdownMethods* getApWatchdogShutdownMethods();
    ApWatchdogShutdownMethod* findApWatchdogShutdownMethod(Poco::Int32 idApWatchdogShutdownMethod);
    void addAppWatchdogShutdownMethod(ApWatchdogShutdownMethod& method);
    /// Writes this row, then every held shutdown method; returns the number of rows written.
    Poco::Int32 updateAll(EntityServer& es, AutoIncrementVector* pKeys);

    /// See the class comment. Poco::DataFormatException for a shutdown method of unknown type.
    operator Orvik::Utility::Watchdog::Parameters() const;

private:
    std::shared_ptr<ApWatchdogShutdownMethods> _pApWatchdogShutdownMethods;
};

}  // namespace Orvik::Apps::Entity

namespace Poco::Data
{
template <>
class TypeHandler<Orvik::Apps::Entity::ApWatchdog>
    : public Orvik::Utility::Data::EntityTypeHandler<Orvik::Apps::Entity::ApWatchdog>
{
};
}  // namespace Poco::Data
