// File URLs: a path known to denote a file, compared by that path.
#pragma once

#include "NSObject.h"

#include <string>

class NSURL final : public NSObject {
public:
    // The URL of an absolute path, made lexically normal ("a/./b/../c" is
    // "a/c"); a relative path is taken from the working directory. Null for
    // an empty path.
    static Ref<NSURL> fileURLWithPath(const std::string& path);

    bool isFileURL() const { return true; }
    const std::string& path() const { return m_path; }
    // "file://" and the path with reserved bytes percent-encoded.
    std::string absoluteString() const;
    std::string lastPathComponent() const;

    bool isEqual(const NSObject* other) const override;
    size_t hash() const override;
    std::string description() const override { return absoluteString(); }

    explicit NSURL(std::string path)
        : m_path(std::move(path))
    {
    }

private:
    std::string m_path;
};
using CFURLRef = Ref<NSURL>;
