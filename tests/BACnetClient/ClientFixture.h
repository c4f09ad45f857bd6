#pragma once

#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"

#include <Poco/AutoPtr.h>
#include <Poco/NotificationQueue.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace Orvik::BACnet::Client::Test
{

const DataError TIMEOUT(ERROR_CLASS_COMMUNICATION, ERROR_CODE_TIMEOUT);

/// A value of one of BACnetValue's alternatives (std::uint64_t, float, DataType::Enumerated, ...); NULL
/// without one.
template <class... T>
ValueContainer valueOf(T... value)
{
    return ValueContainer(BACnetValue(value...));
}

inline ValueContainer enumerated(std::uint32_t value)
{
    return valueOf(DataType::Enumerated{value});
}

/// A simulated site from sites/ with short transaction time-outs, served by a real client worker, and
/// a ServiceHelper whose replies arrive on `responses`.
class ClientFixture : public ::testing::Test
{
protected:
    static TransactionTable::Settings shortTransactions(Poco::UInt32 apduTimeoutMs = 500,
                                                        Poco::UInt32 apduRetries = 2)
    {
        // Short enough for quick time-outs, long enough that a busy machine does not make a healthy
        // device look silent.
        TransactionTable::Settings settings;
        settings.apduTimeoutMs = apduTimeoutMs;
        settings.apduRetries = apduRetries;
        return settings;
    }

    static ClientWorker::Settings shortSettings()
    {
        ClientWorker::Settings settings;
        settings.transactionDeadlineMs = 20000;
        settings.whoIsWindowMs = 500;  // the in-process devices answer at once; as long as an APDU time-out
        return settings;
    }

    void start(const std::string& siteFile,
               const TransactionTable::Settings& transactions = shortTransactions())
    {
        serve(Simulation::SimulatedSite::load(std::string(ORVIK_SOURCE_DIR) + "/sites/" + siteFile),
              transactions);
    }

    void startWithText(const std::string& siteText)
    {
        serve(Simulation::SimulatedSite::parse(siteText, "test site"), shortTransactions());
    }

    /// Serves the site in place of the one served before.
    void serve(std::unique_ptr<Simulation::SimulatedSite> pSite,
               const TransactionTable::Settings& transactions)
    {
        TearDown();
        site = std::move(pSite);
        site->setTransactionSettings(transactions);
        worker = std::make_unique<ClientWorker>(&requests, *site, shortSettings());
        worker->start();
        helper = std::make_unique<ServiceHelper>(&requests, &responses);
    }

    void TearDown() override
    {
        helper.reset();
        if (worker)
            worker->stop();
    }

    /// The next notification on the response queue, as T; fails the test when none comes within a
    /// generous wait or when it is of another class.
    template <class T>
    Poco::AutoPtr<T> next()
    {
        Poco::AutoPtr<Poco::Notification> pNf(responses.waitDequeueNotification(10000));
        EXPECT_FALSE(pNf.isNull()) << "no notification arrived";
        auto* pTyped = dynamic_cast<T*>(pNf.get());
        EXPECT_NE(pTyped, nullptr) << "unexpected notification " << (pNf.isNull() ? "" : pNf->name());
        return Poco::AutoPtr<T>(pTyped, true);
    }

    /// The error of a blocking call, none when it succeeded (the call's result must agree).
    template <class Call>
    static DataError errorOf(const Call& call)
    {
        DataError error;
        const bool succeeded = call(&error) == ServiceHelper::SYNC_RESULT_SUCCESS;
        EXPECT_NE(succeeded, error.hasError()) << error.getString();
        return error;
    }

    DataError read(const DataPropertyKey& key, ValueContainer& value)
    {
        return errorOf([&](DataError* pError) { return helper->syncRP(key, value, pError); });
    }

    /// The value read; fails the test when the read fails.
    ValueContainer read(const DataPropertyKey& key)
    {
        ValueContainer value;
        EXPECT_EQ(read(key, value), DataError());
        return value;
    }

    DataError readRange(const DataPropertyKey& key, const ReadRange::Range& range, ReadRangeAck::Result& page)
    {
        return errorOf([&](DataError* pError) { return helper->syncRR(key, range, page, pError); });
    }

    /// The page read; fails the test when the read fails.
    ReadRangeAck::Result readRange(const DataPropertyKey& key, const ReadRange::Range& range)
    {
        ReadRangeAck::Result page;
        EXPECT_EQ(readRange(key, range, page), DataError());
        return page;
    }

    /// Writes and waits for the answer: no error for the acknowledgement.
    DataError write(const DataPropertyKey& key, Poco::UInt32 priority, const ValueContainer& value)
    {
        const Poco::UInt32 requestId = helper->asyncWP(key, priority, value);
        auto pReply = next<NotificationResponseBase>();
        EXPECT_EQ(pReply->getRequestId(), requestId);
        if (auto* pError = dynamic_cast<NotificationResponsePropertyAccess<DataError>*>(pReply.get()))
            return pError->getResponse();
        EXPECT_NE(dynamic_cast<NotificationResponsePropertyAccess<int>*>(pReply.get()), nullptr);
        return DataError();
    }

    static DataPropertyKey key(Poco::UInt32 device, BACNET_OBJECT_TYPE type, Poco::UInt32 instance,
                               BACNET_PROPERTY_ID property, Poco::UInt32 arrayIndex = BACNET_ARRAY_ALL)
    {
        return DataPropertyKey(device, DataType::ObjectIdentifier(type, instance),
                               DataPropertyRef(property, arrayIndex));
    }

    Poco::NotificationQueue requests;
    Poco::NotificationQueue responses;
    std::unique_ptr<Simulation::SimulatedSite> site;
    std::unique_ptr<ClientWorker> worker;
    std::unique_ptr<ServiceHelper> helper;
};

}  // namespace Orvik::BACnet::Client::Test
