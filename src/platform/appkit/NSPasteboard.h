// Pasteboards: named stores of typed data that applications put things on
// and read back. Only the general pasteboard (copy and paste) is used here,
// and it holds strings.
#pragma once

#include <foundation/NSObject.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

using NSPasteboardType = std::string;
inline const NSPasteboardType NSPasteboardTypeString = "public.utf8-plain-text";
// The older name of the plain string type; the same type.
inline const NSPasteboardType NSStringPboardType = NSPasteboardTypeString;

inline const std::string NSPasteboardNameGeneral = "Apple CFPasteboard general";

class NSPasteboard final : public NSObject {
public:
    static Ref<NSPasteboard> generalPasteboard();

    explicit NSPasteboard(std::string name);

    const std::string& name() const { return m_name; }
    // Goes up by one whenever the contents are cleared.
    long changeCount() const;
    // Empties the pasteboard and takes it over; answers the new change count.
    long clearContents();
    // Puts a string on the pasteboard under a type, replacing what that type
    // held; the other types stay. False for an empty type.
    bool setString(const std::string& string, const NSPasteboardType& type);
    // The string under the type, or nothing.
    std::optional<std::string> stringForType(const NSPasteboardType& type) const;
    // The types on the pasteboard, in the order they were put there.
    std::vector<NSPasteboardType> types() const;

private:
    std::string m_name;
    mutable std::mutex m_mutex;
    long m_changeCount { 0 };
    std::vector<std::pair<NSPasteboardType, std::string>> m_items;
};
