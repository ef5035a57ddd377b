// A table from window-server window numbers to the accessibility elements of
// those windows, for every regular application but this one, refreshed when
// an application launches, the space changes or the screens change.
#pragma once

#include <foundation/NSObject.h>
#include <foundation/Token.h>
#include <services/AXUIElement.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QuorvexHelper final : public NSObject {
public:
    static QuorvexHelper& sharedInstance();

    QuorvexHelper();

    // The stored element of the window; when missing, one refresh and a
    // second look. Null when it is still missing.
    AXUIElementRef getStoredAccessibilityElementForWindowID(int32_t windowID);
    void storeAccessibilityElements();
    void cleanUpAccessibilityElements();

    // The table as it is: decimal window number to element. Nothing before
    // the first refresh.
    std::optional<std::map<std::string, AXUIElementRef>> accessibilityElementsDict() const;

private:
    mutable std::mutex m_mutex;
    std::optional<std::map<std::string, AXUIElementRef>> m_elements;
    std::vector<Token> m_observers;
};
