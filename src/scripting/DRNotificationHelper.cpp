#include "DRNotificationHelper.h"

#include <services/NSUserNotification.h>

void DRNotificationHelper::deliver(const std::string& text)
{
    auto notification = makeRef<NSUserNotification>();
    notification->setInformativeText(text);
    NSUserNotificationCenter::defaultUserNotificationCenter().deliverNotification(notification);
}
