// The file manager: what exists in the file system and how the user sees
// file names. Display names are the names themselves here: the platform
// hides no extensions and translates no folder names.
#pragma once

#include "NSObject.h"

#include <optional>
#include <string>
#include <vector>

class NSFileManager : public NSObject {
public:
    static Ref<NSFileManager> defaultManager();

    bool fileExistsAtPath(const std::string& path) const;
    // The last component of the path ("/" for the root).
    std::string displayNameAtPath(const std::string& path) const;
    // The display names of the path's components from the root down (the
    // root itself not shown); none when nothing exists at the path.
    std::optional<std::vector<std::string>> componentsToDisplayForPath(const std::string& path) const;
};
