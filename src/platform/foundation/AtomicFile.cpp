#include "AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

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

bool writeFileAtomically(const std::string& path, const Value::Bytes& data, std::string* error)
{
    std::filesystem::path target(path);
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
    if (!writeAll(fd, data))
        failedStep = "writing the temporary file";
    else if (::fsync(fd) != 0)
        failedStep = "flushing the temporary file";
    int savedErrno = errno;
    if (::close(fd) != 0 && !failedStep) {
        failedStep = "closing the temporary file";
        savedErrno = errno;
    }
    if (!failedStep && ::rename(temporary.c_str(), path.c_str()) != 0) {
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

std::optional<Value::Bytes> readFileContents(const std::string& path, int* errorNumber)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errorNumber)
            *errorNumber = errno;
        return std::nullopt;
    }
    Value::Bytes data;
    uint8_t buffer[65536];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int saved = errno;
            ::close(fd);
            if (errorNumber)
                *errorNumber = saved;
            return std::nullopt;
        }
        if (n == 0)
            break;
        data.insert(data.end(), buffer, buffer + n);
    }
    ::close(fd);
    return data;
}
