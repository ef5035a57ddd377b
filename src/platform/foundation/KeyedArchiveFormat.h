// The layout of keyed archives, shared by the archiver and the unarchiver.
// Internal to the foundation layer.
#pragma once

#include <cstdint>
#include <string>

namespace KeyedArchive {

inline constexpr const char* kArchiverKey = "$archiver";
inline constexpr const char* kArchiverName = "NSKeyedArchiver";
inline constexpr const char* kVersionKey = "$version";
inline constexpr int64_t kVersion = 100000;
inline constexpr const char* kTopKey = "$top";
inline constexpr const char* kObjectsKey = "$objects";
inline constexpr const char* kNull = "$null";
inline constexpr const char* kClassKey = "$class";
inline constexpr const char* kClassNameKey = "$classname";
inline constexpr const char* kClassesKey = "$classes";
inline constexpr const char* kRootKey = "root";

inline constexpr const char* kArrayObjectsKey = "NS.objects";
inline constexpr const char* kDictionaryKeysKey = "NS.keys";
inline constexpr const char* kStringKey = "NS.string";
inline constexpr const char* kDataKey = "NS.data";
inline constexpr const char* kTimeKey = "NS.time";

// Objects nested deeper than this (through references, which the property
// list itself does not nest) are refused in both directions.
inline constexpr size_t kMaxObjectDepth = 256;

// Keys of the coder's own that begin with "$" get one more "$", so that they
// never collide with the archive's reserved keys.
inline std::string escapedKey(const std::string& key) { return !key.empty() && key[0] == '$' ? "$" + key : key; }

}
