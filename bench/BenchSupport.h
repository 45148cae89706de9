// SPDX-License-Identifier: Apache-2.0
// Small pieces the benchmarks share: the process's CPU time, the load average, and processes
// that keep the cores busy for the "under load" figures.
#pragma once

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace palmcue::bench {

// User plus system time of this process, every thread, in seconds.
inline double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The 1, 5 and 15 minute load averages, as "0.52 0.61 0.70".
inline std::string loadAverage() {
    double one = 0, five = 0, fifteen = 0;
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf %lf %lf", &one, &five, &fifteen) != 3)
            one = five = fifteen = 0;
        std::fclose(file);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", one, five, fifteen);
    return text;
}

// Child processes that spin on the CPU until this object goes (or this process dies), like
// another program keeping the cores busy. Start them before any threads of our own.
class CpuHogs {
public:
    explicit CpuHogs(int count) {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                volatile unsigned long spin = 0;
                for (;;)
                    spin = spin + 1;
            }
            if (pid > 0)
                children_.push_back(pid);
        }
    }
    ~CpuHogs() {
        for (const pid_t pid : children_)
            kill(pid, SIGKILL);
        for (const pid_t pid : children_)
            waitpid(pid, nullptr, 0);
    }
    CpuHogs(const CpuHogs&) = delete;
    CpuHogs& operator=(const CpuHogs&) = delete;

private:
    std::vector<pid_t> children_;
};

} // namespace palmcue::bench
