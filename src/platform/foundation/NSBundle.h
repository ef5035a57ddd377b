// The application bundle: its information dictionary and its resources.
#pragma once

#include "NSObject.h"
#include "Value.h"

#include <map>
#include <mutex>
#include <string>

class NSBundle : public NSObject {
public:
    static NSBundle& mainBundle();

    // The information dictionary (resources/Info.json).
    const Value& infoDictionary() const { return m_info; }
    Value objectForInfoDictionaryKey(const std::string& key) const { return m_info[key]; }
    std::string bundleIdentifier() const { return m_info["CFBundleIdentifier"].stringValue(); }
    std::string bundlePath() const { return m_bundlePath; }
    // The program this process runs, with symbolic links resolved: what
    // starts the application (a login item names it).
    static std::string executablePath();
    // The resource directory: $QUORVEX_RESOURCES, or the source tree's
    // resources/ directory.
    std::string resourcePath() const { return m_resourcePath; }
    // Path of a resource file, or empty when there is none.
    std::string pathForResource(const std::string& name, const std::string& type) const;

    // Reloads from another resource directory (tests).
    void loadFrom(const std::string& resourcePath);

    // A bundle directory whose resources lie directly in it; null when the
    // directory does not exist.
    static Ref<NSBundle> bundleWithPath(const std::string& path);

    // The translation of the key in a strings table (default "Localizable")
    // of the first language that has the table: the user's language
    // ($LANGUAGE, $LC_ALL, $LC_MESSAGES, $LANG), then "en", then "Base".
    // A table is LANGUAGE.lproj/TABLE.strings, a property-list dictionary
    // (XML or binary). A key that no table has gives the value, or the key
    // when the value is empty.
    std::string localizedStringForKey(
        const std::string& key, const std::string& value, const std::string& table = {}) const;

private:
    NSBundle();
    explicit NSBundle(const std::string& path);
    const Value::Dictionary& stringsTable(const std::string& table) const;

    std::string m_resourcePath;
    std::string m_bundlePath;
    Value m_info;
    mutable std::mutex m_tablesMutex;
    mutable std::map<std::string, Value::Dictionary> m_tables;
};

inline const std::string kCFBundleNameKey = "CFBundleName";
