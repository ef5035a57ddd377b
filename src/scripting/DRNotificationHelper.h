// Posts the user notifications of the scripting layer: every message the
// host shows the user, and Dirariv.notify.
#pragma once

#include <string>

class DRNotificationHelper {
public:
    static void deliver(const std::string& text);
};
