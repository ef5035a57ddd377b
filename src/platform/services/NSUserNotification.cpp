#include "NSUserNotification.h"

#include <foundation/Clock.h>

NSUserNotificationCenter& NSUserNotificationCenter::defaultUserNotificationCenter()
{
    static NSUserNotificationCenter center;
    return center;
}

void NSUserNotificationCenter::deliverNotification(const Ref<NSUserNotification>& notification)
{
    if (!notification)
        return;
    notification->m_deliveryDate = CFAbsoluteTimeGetCurrent();
    std::lock_guard lock(m_mutex);
    m_delivered.push_back(notification);
}

std::vector<Ref<NSUserNotification>> NSUserNotificationCenter::deliveredNotifications() const
{
    std::lock_guard lock(m_mutex);
    return m_delivered;
}

void NSUserNotificationCenter::removeAllDeliveredNotifications()
{
    std::lock_guard lock(m_mutex);
    m_delivered.clear();
}
