#include "NSPasteboard.h"

#include <algorithm>

Ref<NSPasteboard> NSPasteboard::generalPasteboard()
{
    static auto* general = new Ref<NSPasteboard>(makeRef<NSPasteboard>(NSPasteboardNameGeneral));
    return *general;
}

NSPasteboard::NSPasteboard(std::string name)
    : m_name(std::move(name))
{
}

long NSPasteboard::changeCount() const
{
    std::lock_guard lock(m_mutex);
    return m_changeCount;
}

long NSPasteboard::clearContents()
{
    std::lock_guard lock(m_mutex);
    m_items.clear();
    return ++m_changeCount;
}

bool NSPasteboard::setString(const std::string& string, const NSPasteboardType& type)
{
    if (type.empty())
        return false;
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_items.begin(), m_items.end(), [&](const auto& item) { return item.first == type; });
    if (it != m_items.end())
        it->second = string;
    else
        m_items.emplace_back(type, string);
    return true;
}

std::optional<std::string> NSPasteboard::stringForType(const NSPasteboardType& type) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& [itemType, string] : m_items)
        if (itemType == type)
            return string;
    return std::nullopt;
}

std::vector<NSPasteboardType> NSPasteboard::types() const
{
    std::lock_guard lock(m_mutex);
    std::vector<NSPasteboardType> result;
    for (const auto& item : m_items)
        result.push_back(item.first);
    return result;
}
