// SPDX-License-Identifier: Apache-2.0
// What a launch's fresh catalogue costs with many installed applications: 3,000 desktop
// entries (GIO's reading of each), in a private XDG folder made before the first call.
//   palmcue-bench-catalogue [--entries N] [google benchmark flags]
#include "apps/AppCatalogue.h"
#include "apps/ApplicationFolders.h"
#include "desktop/GioNaming.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

int entryCount = 3000;
std::string root;

void writeEntries() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/palmcue-bench-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    root = pattern;
    const std::string apps = root + "/share/applications";
    std::filesystem::create_directories(apps);
    std::filesystem::create_directories(root + "/home/applications");
    for (int i = 0; i < entryCount; ++i) {
        const std::string n = std::to_string(i);
        // A typical entry: translations, categories, MIME types; its program is on the PATH.
        std::ofstream(apps + "/app" + n + ".desktop")
            << "[Desktop Entry]\nType=Application\nName=App " << n << "\nName[de]=Anwendung " << n
            << "\nName[fr]=Appli " << n << "\nComment=Application number " << n
            << "\nGenericName=Tool\nExec=sh -c \"echo %U\"\nIcon=app-" << n
            << "\nCategories=Utility;Development;\nKeywords=a;b;c;\nTerminal=false\n"
            << "MimeType=text/plain;text/x-c;\n";
    }
    setenv("XDG_DATA_DIRS", (root + "/share").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/home").c_str(), 1);
}

// Every launch after the first: all entries unchanged.
void UnchangedEntries(benchmark::State& state) {
    palmcue::desktop::installedApps();
    for (auto _ : state)
        benchmark::DoNotOptimize(palmcue::desktop::installedApps());
    state.SetLabel(std::to_string(entryCount) + " entries");
}
BENCHMARK(UnchangedEntries)->Unit(benchmark::kMillisecond);

// One entry rewritten between launches (an application updated).
void OneChangedEntry(benchmark::State& state) {
    palmcue::desktop::installedApps();
    const std::string file = root + "/share/applications/app0.desktop";
    int version = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(file) << "[Desktop Entry]\nType=Application\nName=App 0 v" << ++version
                            << "\nExec=sh\n";
        state.ResumeTiming();
        benchmark::DoNotOptimize(palmcue::desktop::installedApps());
    }
    state.SetLabel(std::to_string(entryCount) + " entries");
}
BENCHMARK(OneChangedEntry)->Unit(benchmark::kMillisecond);

// The first walk of the program (the picker's list at start): every entry read.
void FirstWalk(benchmark::State& state) {
    const std::vector<std::string> folders = palmcue::apps::applicationFolders();
    for (auto _ : state) {
        palmcue::apps::AppCatalogue catalogue(palmcue::desktop::gioVerdict);
        benchmark::DoNotOptimize(catalogue.list(folders));
    }
    state.SetLabel(std::to_string(entryCount) + " entries");
}
BENCHMARK(FirstWalk)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--entries") == 0) {
            entryCount = std::max(1, std::atoi(argv[i + 1]));
            for (int j = i; j + 2 < argc + 1; ++j)
                argv[j] = argv[j + 2];
            argc -= 2;
            break;
        }
    }
    writeEntries();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(root);
    return 0;
}
