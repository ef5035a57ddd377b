// User notifications. Here nothing is shown on screen: each delivered
// notification is recorded, in order, for whoever hosts the system to print
// or test.
#pragma once

#include <foundation/NSObject.h>

#include <mutex>
#include <string>
#include <vector>

class NSUserNotification : public NSObject {
public:
    const std::string& title() const { return m_title; }
    void setTitle(const std::string& title) { m_title = title; }
    const std::string& informativeText() const { return m_informativeText; }
    void setInformativeText(const std::string& text) { m_informativeText = text; }
    // When it was delivered (the current clock), 0 before.
    double deliveryDate() const { return m_deliveryDate; }

private:
    friend class NSUserNotificationCenter;
    std::string m_title;
    std::string m_informativeText;
    double m_deliveryDate { 0 };
};

class NSUserNotificationCenter : public NSObject {
public:
    static NSUserNotificationCenter& defaultUserNotificationCenter();

    // Delivers at once. Thread-safe.
    void deliverNotification(const Ref<NSUserNotification>& notification);
    // Delivered notifications, oldest first.
    std::vector<Ref<NSUserNotification>> deliveredNotifications() const;
    void removeAllDeliveredNotifications();

private:
    mutable std::mutex m_mutex;
    std::vector<Ref<NSUserNotification>> m_delivered;
};
