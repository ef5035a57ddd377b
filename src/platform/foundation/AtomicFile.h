// Whole-file reads and atomic whole-file writes, for the stores that keep
// state on disk.
#pragma once

#include "Value.h"

#include <cstdint>
#include <optional>
#include <string>

// Replaces the file at path with data, atomically: the bytes go to a
// temporary file beside it, reach the disk, and the temporary file is
// renamed over the old one. On failure the old file is left as it was, no
// temporary file remains, and error says what went wrong. The directory
// must exist.
// When path is a symbolic link (a file kept in a folder of dotfiles), the
// file it leads to is replaced and the link stays. The new file keeps the
// old one's permissions; a new file is readable by its owner only.
// The temporary file is named "." + the file's name + "." + this many characters.
inline constexpr size_t kTemporarySuffixLength = 6;
bool writeFileAtomically(const std::string& path, const Value::Bytes& data, std::string* error = nullptr);

// The file a write to path replaces: path itself, or where its chain of
// symbolic links ends (also when that file does not exist yet).
std::string atomicWriteTarget(const std::string& path);

// Removes the temporary files that interrupted writes to path left beside
// it and beside the file it is a link to.
void removeStaleTemporaryFiles(const std::string& path);

// The whole contents of a regular file (links followed). Nothing when it
// cannot be read; errorNumber then holds the reason: ENOENT when there is
// no such file, EISDIR for a folder, EINVAL for anything else that is not
// a regular file (a pipe, a device), EFBIG for a file of more than
// maxBytes, which is refused without being read.
std::optional<Value::Bytes> readFileContents(
    const std::string& path, int* errorNumber = nullptr, size_t maxBytes = SIZE_MAX);

// Test support: every read of exactly this path fails with errorNumber, as
// a disk error would, whoever runs it (root reads any file); 0 ends it.
void injectReadErrorForTesting(const std::string& path, int errorNumber);
