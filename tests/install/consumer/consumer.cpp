// Uses one class of the apps library and one of a host layer, through installed headers only.
#include "Orvik_Utility/NotificationQueueWorker.h"
#include "Orvik_ZARoveDore/NotificationAppTermination.h"

#include <iostream>

int main()
{
    Orvik::Utility::NotificationQueueWorker worker;
    worker.getReadQueue()->enqueueNotification(
        new Orvik::BACnet::App::NotificationAppTermination(nullptr, true));
    Poco::AutoPtr<Poco::Notification> pNf = worker.waitDequeueNotification(0);
    auto* pTermination = dynamic_cast<Orvik::BACnet::App::NotificationAppTermination*>(pNf.get());
    if (pTermination == nullptr || !pTermination->restart)
        return 1;
    std::cout << "consumer linked against the installed Orvik_ZARoveDore" << std::endl;
    return 0;
}
