#pragma once

#include "TemporaryDirectory.h"

#include <foundation/NSUserDefaults.h>

// The shared user defaults live in a temporary directory for the test.
class DefaultsSandbox {
public:
    DefaultsSandbox()
    {
        NSUserDefaults::setStorageDirectory(m_directory.path());
        NSUserDefaults::resetStandardUserDefaults();
    }
    ~DefaultsSandbox()
    {
        NSUserDefaults::resetStandardUserDefaults();
        NSUserDefaults::setStorageDirectory("");
    }
    Ref<NSUserDefaults> defaults() const { return NSUserDefaults::standardUserDefaults(); }

private:
    TemporaryDirectory m_directory;
};
