# SPDX-License-Identifier: GPL-3.0-or-later
# The two commands of the README, `make run` and `make test`, and `make package`. Each installs
# what its job is missing first.
RELEASE_DIR := build/release
TEST_DIR    := build/test
PACKAGE_DIR := build/package
TSAN_DIR    := build/tsan
TEST_RELEASE_DIR := build/test-release
JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_EXTRA ?=
ifeq ($(CI),true)
  CMAKE_EXTRA += -DPICTAVO_WERROR=ON
endif

.PHONY: all build run test test-build test-release tsan package screenshots bench fuzz clean

all: build

build:
	@bash scripts/install-deps.sh run
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DPICTAVO_BUILD_TESTS=OFF $(CMAKE_EXTRA)
	cmake --build $(RELEASE_DIR) -j $(JOBS)

run: build
	@bash scripts/run.sh $(RELEASE_DIR)

test-build:
	@bash scripts/install-deps.sh test
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
	  -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DPICTAVO_SANITIZE=ON $(CMAKE_EXTRA)
	cmake --build $(TEST_DIR) -j $(JOBS)

test: test-build
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

# The tests again, built optimised as the program is shipped, in a build folder of their own.
test-release:
	@bash scripts/install-deps.sh test
	cmake -S . -B $(TEST_RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_EXTRA)
	cmake --build $(TEST_RELEASE_DIR) -j $(JOBS)
	cd $(TEST_RELEASE_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

# The tests again under ThreadSanitizer, in a build folder of their own.
tsan:
	@bash scripts/install-deps.sh test
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
	  -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DPICTAVO_TSAN=ON $(CMAKE_EXTRA)
	cmake --build $(TSAN_DIR) -j $(JOBS)
	cd $(TSAN_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

# pictavo_VERSION_ARCH.deb in build/package, checked with lintian and the other validators.
package:
	@bash scripts/install-deps.sh package
	JOBS=$(JOBS) bash packaging/build-package.sh $(PACKAGE_DIR)

# The window under the light and the dark GTK theme on a virtual display (SCREENSHOTS folder).
SCREENSHOTS ?= /tmp/screenshots
screenshots: test-build
	@bash scripts/screenshots.sh $(TEST_DIR) $(SCREENSHOTS)

bench:
	@bash scripts/install-deps.sh bench
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DPICTAVO_BUILD_TESTS=OFF -DPICTAVO_BUILD_BENCH=ON $(CMAKE_EXTRA)
	cmake --build build/bench -j $(JOBS)
	@bash scripts/bench.sh build/bench

# libFuzzer runs of the decoder fuzz targets (clang); FUZZ_SECONDS per target, default 180.
fuzz:
	@bash scripts/install-deps.sh fuzz
	@bash scripts/fuzz.sh

clean:
	rm -rf build
