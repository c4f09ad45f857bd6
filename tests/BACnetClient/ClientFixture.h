#pragma once

#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"

#include <Poco/AutoPtr.h>
#include <Poco/NotificationQueue.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace Orvik::BACnet::Client::Test
{

/// A simulated site from sites/ with short transaction time-outs, served by a real client worker, and
/// a ServiceHelper whose replies arrive on `responses`.
class ClientFixture : public ::testing::Test
{
protected:
    static TransactionTable::Settings shortTransactions()
    {
        TransactionTable::Settings settings;
        // Short enough for quick time-outs, long enough that a busy machine does not make a healthy
        // device look silent.
        settings.apduTimeoutMs = 500;
        settings.apduRetries = 2;
        return settings;
    }

    static ClientWorker::Settings shortSettings()
    {
        ClientWorker::Settings settings;
        settings.transactionDeadlineMs = 20000;
        settings.whoIsWindowMs = 500;  // the in-process devices answer at once; as long as an APDU time-out
        return settings;
    }

    static std::string sitePath(const std::string& fileName)
    {
        return std::string(ORVIK_SOURCE_DIR) + "/sites/" + fileName;
    }

    void start(const std::string& siteFile,
               const TransactionTable::Settings& transactions = shortTransactions())
    {
        serve(Simulation::SimulatedSite::load(sitePath(siteFile)), transactions);
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

    /// ReadProperty: the error, none when the value was read into `value` (the call's result agrees).
    DataError read(const DataPropertyKey& key, ValueContainer& value)
    {
        DataError error;
        const bool read = helper->syncRP(key, value, &error) == ServiceHelper::SYNC_RESULT_SUCCESS;
        EXPECT_NE(read, error.hasError()) << error.getString();
        return error;
    }

    /// The value read; fails the test when the read fails.
    ValueContainer read(const DataPropertyKey& key)
    {
        ValueContainer value;
        EXPECT_EQ(read(key, value), DataError());
        return value;
    }

    /// ReadRange: the error, none when the page was read into `page` (the call's result agrees).
    DataError readRange(const DataPropertyKey& key, const ReadRange::Range& range, ReadRangeAck::Result& page)
    {
        DataError error;
        const bool read = helper->syncRR(key, range, page, &error) == ServiceHelper::SYNC_RESULT_SUCCESS;
        EXPECT_NE(read, error.hasError()) << error.getString();
        return error;
    }

    /// The page read; fails the test when the read fails.
    ReadRangeAck::Result readRange(const DataPropertyKey& key, const ReadRange::Range& range)
    {
        ReadRangeAck::Result page;
        EXPECT_EQ(readRange(key, range, page), DataError());
        return page;
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
