// SPDX-License-Identifier: Apache-2.0
#include "apps/RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace palmcue::apps {

namespace {

std::int64_t nanoseconds(const timespec& time) {
    return std::int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

FileIdentity identityOf(const struct stat& status) {
    return {std::uint64_t(status.st_dev), std::uint64_t(status.st_ino),
            std::int64_t(status.st_size), nanoseconds(status.st_mtim), nanoseconds(status.st_ctim)};
}

// Closes a descriptor on every way out.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

std::optional<FileIdentity> regularFileIdentity(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return identityOf(status);
}

std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxBytes,
                                           FileIdentity* identity) {
    const std::optional<FileIdentity> before = regularFileIdentity(path);
    if (!before || std::uint64_t(before->size) > maxBytes)
        return std::nullopt;
    // O_NONBLOCK: a FIFO put in its place since the check opens without waiting for a
    // writer, and is then refused below. It changes nothing for a regular file.
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    struct stat status {};
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        std::uint64_t(status.st_size) > maxBytes)
        return std::nullopt;

    // The size may have changed since fstat: read to the end, stopping past the limit.
    std::string contents;
    contents.reserve(std::size_t(status.st_size));
    char chunk[16384];
    while (true) {
        const ssize_t got = ::read(file.fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || contents.size() + std::size_t(got) > maxBytes)
            return std::nullopt;
        if (got == 0)
            break;
        contents.append(chunk, std::size_t(got));
    }
    if (identity)
        *identity = identityOf(status);
    return contents;
}

} // namespace palmcue::apps
