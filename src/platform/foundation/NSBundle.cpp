#include "NSBundle.h"

#include "JSON.h"
#include "Log.h"

#include <cstdlib>
#include <fstream>
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

void NSBundle::loadFrom(const std::string& resourcePath)
{
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
