// The application bundle: its information dictionary and its resources.
#pragma once

#include "NSObject.h"
#include "Value.h"

#include <string>

class NSBundle : public NSObject {
public:
    static NSBundle& mainBundle();

    // The information dictionary (resources/Info.json).
    const Value& infoDictionary() const { return m_info; }
    Value objectForInfoDictionaryKey(const std::string& key) const { return m_info[key]; }
    std::string bundleIdentifier() const { return m_info["CFBundleIdentifier"].stringValue(); }
    std::string bundlePath() const { return m_bundlePath; }
    // The resource directory: $QUORVEX_RESOURCES, or the source tree's
    // resources/ directory.
    std::string resourcePath() const { return m_resourcePath; }
    // Path of a resource file, or empty when there is none.
    std::string pathForResource(const std::string& name, const std::string& type) const;

    // Reloads from another resource directory (tests).
    void loadFrom(const std::string& resourcePath);

private:
    NSBundle();
    std::string m_resourcePath;
    std::string m_bundlePath;
    Value m_info;
};

inline const std::string kCFBundleNameKey = "CFBundleName";
