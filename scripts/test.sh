#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds and runs the whole test suite three times: a plain build, one under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the threaded tests under ThreadSanitizer;
# then gives the model reader's fuzzer (built with clang) a short run on its corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

configure() { # dir, target, extra cmake args...
    local dir=$1 target=$2
    shift 2
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs" --target "$target"
    # Sanitizer builds share the models fetched for the plain build.
    if [[ $dir != build && ! -e $dir/models ]]; then ln -s "$PWD/build/models" "$dir/models"; fi
}

configure build all -DCMAKE_BUILD_TYPE=RelWithDebInfo
configure build-asan all -DCMAKE_BUILD_TYPE=Debug -DPALMCUE_SANITIZE="address;undefined"
configure build-tsan palmcue_threaded_tests -DCMAKE_BUILD_TYPE=Debug -DPALMCUE_SANITIZE=thread
cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build build-fuzz -j "$jobs"

status=0
echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE no-asan || status=1
echo "== ThreadSanitizer (threaded tests)"
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L threads || status=1
echo "== Model reader fuzzer, 30 s"
mkdir -p build-fuzz/corpus
build-fuzz/palmcue-fuzz-model-reader -max_total_time=30 -max_len=8192 build-fuzz/corpus \
    fuzz/corpus >build-fuzz/last-run.log 2>&1 || {
    tail -40 build-fuzz/last-run.log
    status=1
}
echo "== Plain build"
ctest --test-dir build --output-on-failure -j "$jobs" || status=1
exit $status
