// SPDX-License-Identifier: Apache-2.0
// A FIFO that notices being opened. Opening a FIFO for reading waits for a writer: code
// that does so by mistake would hang the test. The watch keeps offering a writer, so such a
// reader is let through at once (it reads an empty file) and the open is recorded: a test of
// "never opened" then fails instead of hanging.
#pragma once

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace palmcue::test {

class FifoWatch {
public:
    explicit FifoWatch(std::string path) : path_(std::move(path)) {
        if (::mkfifo(path_.c_str(), 0600) != 0)
            throw std::runtime_error("cannot make the FIFO " + path_);
        thread_ = std::thread([this] {
            while (!stop_.load()) {
                // Succeeds only while a reader has the FIFO open.
                const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    opened_.store(true);
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~FifoWatch() {
        stop_.store(true);
        thread_.join();
        ::unlink(path_.c_str());
    }
    FifoWatch(const FifoWatch&) = delete;
    FifoWatch& operator=(const FifoWatch&) = delete;

    bool opened() const { return opened_.load(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> opened_{false};
    std::thread thread_;
};

} // namespace palmcue::test
