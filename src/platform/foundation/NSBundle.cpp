#include "NSBundle.h"

#include "JSON.h"
#include "Log.h"
#include "NSPropertyListSerialization.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>

NSBundle& NSBundle::mainBundle()
{
    static auto* bundle = new NSBundle();
    return *bundle;
}

NSBundle::NSBundle()
{
    const char* env = std::getenv("QUORVEX_RESOURCES");
    loadFrom(env && *env ? env : std::string(QV_SOURCE_DIR) + "/resources");
}

NSBundle::NSBundle(const std::string& path) { loadFrom(path); }

Ref<NSBundle> NSBundle::bundleWithPath(const std::string& path)
{
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return nullptr;
    return Ref<NSBundle>(new NSBundle(path));
}

void NSBundle::loadFrom(const std::string& resourcePath)
{
    {
        std::lock_guard lock(m_tablesMutex);
        m_tables.clear();
    }
    m_resourcePath = resourcePath;
    m_bundlePath = resourcePath;
    m_info = Value(Value::Dictionary {});
    std::ifstream in(resourcePath + "/Info.json");
    if (!in)
        return;
    std::stringstream text;
    text << in.rdbuf();
    JSONError error;
    auto info = parseJSON(text.str(), &error);
    if (!info || !info->isDictionary()) {
        NSLog("The bundle's information dictionary cannot be read: %@ (line %lu)", error.message, error.line);
        return;
    }
    m_info = *info;
}

std::string NSBundle::pathForResource(const std::string& name, const std::string& type) const
{
    std::string path = m_resourcePath + "/" + name + (type.empty() ? "" : "." + type);
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? path : std::string();
}

namespace {

// The user's language from the environment ("de" of "de_DE.UTF-8").
std::string userLanguage()
{
    for (const char* name : { "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const char* value = std::getenv(name);
        if (!value || !*value)
            continue;
        std::string language(value);
        language = language.substr(0, language.find_first_of(":_.@"));
        if (!language.empty() && language != "C" && language != "POSIX")
            return language;
    }
    return {};
}

}

const Value::Dictionary& NSBundle::stringsTable(const std::string& table) const
{
    std::lock_guard lock(m_tablesMutex);
    auto cached = m_tables.find(table);
    if (cached != m_tables.end())
        return cached->second;
    Value::Dictionary& entries = m_tables[table];
    std::vector<std::string> languages;
    if (auto language = userLanguage(); !language.empty())
        languages.push_back(language);
    languages.push_back("en");
    languages.push_back("Base");
    for (const auto& language : languages) {
        std::string path = m_resourcePath + "/" + language + ".lproj/" + table + ".strings";
        std::ifstream in(path, std::ios::binary);
        if (!in)
            continue;
        Value::Bytes data((std::istreambuf_iterator<char>(in)), {});
        std::string error;
        auto plist = NSPropertyListSerialization::propertyListWithData(data, nullptr, &error);
        if (!plist || !plist->isDictionary()) {
            NSLog("The strings table %@ cannot be read: %@", path, error.empty() ? "not a dictionary" : error);
            continue;
        }
        for (const auto& [key, translation] : *plist->dictionary())
            if (translation.isString())
                entries.emplace(key, translation);
        break;
    }
    return entries;
}

std::string NSBundle::localizedStringForKey(const std::string& key, const std::string& value, const std::string& table) const
{
    const auto& entries = stringsTable(table.empty() ? "Localizable" : table);
    auto it = entries.find(key);
    if (it != entries.end())
        return it->second.stringValue();
    return value.empty() ? key : value;
}

std::string NSBundle::executablePath()
{
    std::error_code error;
    auto path = std::filesystem::canonical("/proc/self/exe", error);
    return error ? std::string() : path.string();
}
