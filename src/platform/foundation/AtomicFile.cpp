#include "AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// As many links as the system itself follows before giving up.
constexpr int kMaximumLinkHops = 40;

std::mutex gInjectedMutex;
std::map<std::string, int>& injectedReadErrors()
{
    static auto* errors = new std::map<std::string, int>();
    return *errors;
}

int injectedReadError(const std::string& path)
{
    std::lock_guard lock(gInjectedMutex);
    auto& errors = injectedReadErrors();
    if (errors.empty())
        return 0;
    auto it = errors.find(path);
    return it == errors.end() ? 0 : it->second;
}

bool writeAll(int fd, const Value::Bytes& data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}

std::string atomicWriteTarget(const std::string& path)
{
    std::filesystem::path target(path);
    for (int hop = 0; hop < kMaximumLinkHops; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, error)))
            break;
        std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error)
            break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target.lexically_normal().string();
}

namespace {

void removeTemporaryFilesBeside(const std::filesystem::path& target)
{
    std::string prefix = "." + target.filename().string() + ".";
    std::error_code error;
    std::filesystem::directory_iterator it(target.parent_path().empty() ? "." : target.parent_path(), error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::string name = it->path().filename().string();
        if (name.size() == prefix.size() + kTemporarySuffixLength && name.starts_with(prefix)
            && it->is_regular_file(error)) {
            std::error_code ignored;
            std::filesystem::remove(it->path(), ignored);
        }
    }
}

}

void removeStaleTemporaryFiles(const std::string& path)
{
    // Beside the link too: writes made before the file became a link.
    std::filesystem::path target(atomicWriteTarget(path));
    removeTemporaryFilesBeside(target);
    if (target != std::filesystem::path(path).lexically_normal())
        removeTemporaryFilesBeside(path);
}

bool writeFileAtomically(const std::string& path, const Value::Bytes& data, std::string* error)
{
    std::filesystem::path target(atomicWriteTarget(path));
    std::filesystem::path directory = target.parent_path();
    if (directory.empty())
        directory = ".";
    std::string temporary = (directory / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = "no temporary file can be made in " + directory.string() + ": " + std::strerror(errno);
        return false;
    }
    const char* failedStep = nullptr;
    struct stat old;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode) && ::fchmod(fd, old.st_mode & 07777) != 0)
        failedStep = "keeping the file's permissions";
    else if (!writeAll(fd, data))
        failedStep = "writing the temporary file";
    else if (::fsync(fd) != 0)
        failedStep = "flushing the temporary file";
    int savedErrno = errno;
    if (::close(fd) != 0 && !failedStep) {
        failedStep = "closing the temporary file";
        savedErrno = errno;
    }
    if (!failedStep && ::rename(temporary.c_str(), target.c_str()) != 0) {
        failedStep = "replacing the file";
        savedErrno = errno;
    }
    if (failedStep) {
        ::unlink(temporary.c_str());
        if (error)
            *error = std::string(failedStep) + " failed: " + std::strerror(savedErrno);
        return false;
    }
    // The rename itself reaches the disk once the directory is flushed.
    int dirfd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) {
        ::fsync(dirfd);
        ::close(dirfd);
    }
    return true;
}

void injectReadErrorForTesting(const std::string& path, int errorNumber)
{
    std::lock_guard lock(gInjectedMutex);
    if (errorNumber)
        injectedReadErrors()[path] = errorNumber;
    else
        injectedReadErrors().erase(path);
}

std::optional<Value::Bytes> readFileContents(const std::string& path, int* errorNumber, size_t maxBytes)
{
    auto fail = [&](int error) -> std::optional<Value::Bytes> {
        if (errorNumber)
            *errorNumber = error;
        return std::nullopt;
    };
    if (int injected = injectedReadError(path))
        return fail(injected);
    // Opened without waiting: a pipe put where a file belongs would
    // otherwise block the open until something writes to it.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return fail(errno);
    // A pipe, a device (a link to /dev/zero never ends) or a folder holds
    // no file's contents.
    struct stat info;
    int notAFile = ::fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    if (notAFile) {
        ::close(fd);
        return fail(notAFile);
    }
    if (uint64_t(info.st_size) > maxBytes) {
        ::close(fd);
        return fail(EFBIG);
    }
    Value::Bytes data;
    data.reserve(size_t(info.st_size));
    uint8_t buffer[65536];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int saved = errno;
            ::close(fd);
            return fail(saved);
        }
        if (n == 0)
            break;
        // A file that grows while it is read is held to the same bound.
        if (data.size() + size_t(n) > maxBytes) {
            ::close(fd);
            return fail(EFBIG);
        }
        data.insert(data.end(), buffer, buffer + n);
    }
    ::close(fd);
    return data;
}
