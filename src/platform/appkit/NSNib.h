// Interface files. Each is a C++ builder registered under the file's name;
// loading the file runs the builder with the file's owner, and the builder
// makes the views and windows, sets the owner's outlets (its view or window
// first), tags, targets and bindings, and then sends awakeFromNib to the
// objects it made, as loading a file does on the platform.
//
// Register from the .cpp file of the class that loads the file, with a
// static NSNibRegistration: that file is always linked in, so its
// registration runs before main.
#pragma once

#include <foundation/NSObject.h>

#include <functional>
#include <string>
#include <vector>

class NSNib {
public:
    using Builder = std::function<void(NSObject& owner)>;

    // Replaces an earlier builder of the same name.
    static void registerNibNamed(const std::string& name, Builder builder);
    static void unregisterNibNamed(const std::string& name);
    static bool hasNibNamed(const std::string& name);
    static std::vector<std::string> registeredNibNames();
    // Runs the builder with the owner; false (and a log line) when no file
    // of that name exists.
    static bool loadNibNamed(const std::string& name, NSObject& owner);
};

struct NSNibRegistration {
    NSNibRegistration(const std::string& name, NSNib::Builder builder)
    {
        NSNib::registerNibNamed(name, std::move(builder));
    }
};
