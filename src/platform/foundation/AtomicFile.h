// Whole-file reads and atomic whole-file writes, for the stores that keep
// state on disk.
#pragma once

#include "Value.h"

#include <optional>
#include <string>

// Replaces the file at path with data, atomically: the bytes go to a
// temporary file beside it, reach the disk, and the temporary file is
// renamed over the old one. On failure the old file is left as it was, no
// temporary file remains, and error says what went wrong. The directory
// must exist.
// The temporary file is named "." + the file's name + "." + this many characters.
inline constexpr size_t kTemporarySuffixLength = 6;
bool writeFileAtomically(const std::string& path, const Value::Bytes& data, std::string* error = nullptr);

// The whole contents of a file. Nothing when it cannot be read; errorNumber
// then holds the reason (ENOENT when there is no such file).
std::optional<Value::Bytes> readFileContents(const std::string& path, int* errorNumber = nullptr);
