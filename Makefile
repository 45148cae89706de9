# SPDX-License-Identifier: Apache-2.0
# The two commands of the README:
#   make run    installs what is missing, builds, and starts Palm&Cue
#   make test   installs what is missing, builds, and runs the whole test suite
#               (plain build, then AddressSanitizer+UBSan, then ThreadSanitizer)
# and   make package   builds the Debian package into the build folder.
BUILD ?= build
JOBS ?= $(shell nproc)
RUN_ARGS ?=

.PHONY: setup build run test test-plain test-asan test-tsan bench package clean

setup:
	@scripts/setup.sh $(BUILD)

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/Palmcue/PalmcueApp/palmcue $(RUN_ARGS)

test: setup
	@scripts/test.sh

bench: build
	@scripts/bench.sh $(BUILD)

package: build
	@cmake --build $(BUILD) --target package

clean:
	rm -rf build build-asan build-tsan build-fuzz
