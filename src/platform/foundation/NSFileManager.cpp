#include "NSFileManager.h"

#include "NSPathUtilities.h"

#include <filesystem>

Ref<NSFileManager> NSFileManager::defaultManager()
{
    static const Ref<NSFileManager> manager = makeRef<NSFileManager>();
    return manager;
}

bool NSFileManager::fileExistsAtPath(const std::string& path) const
{
    std::error_code error;
    return !path.empty() && std::filesystem::exists(path, error);
}

std::string NSFileManager::displayNameAtPath(const std::string& path) const { return NSStringLastPathComponent(path); }

std::optional<std::vector<std::string>> NSFileManager::componentsToDisplayForPath(const std::string& path) const
{
    if (!fileExistsAtPath(path))
        return std::nullopt;
    std::vector<std::string> names;
    for (const auto& component : NSStringPathComponents(path))
        if (component != "/")
            names.push_back(component);
    return names;
}
