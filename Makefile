# Two commands for a fresh Debian 12 machine:
#   make run    install what is needed, build a Release and start Marrowtune
#   make test   install what is needed, build with tests and run every test (one with no time
#               limit of its own is stopped after ten minutes)
# Variables for make test:
#   SANITIZE=address   build in build/asan with AddressSanitizer + UndefinedBehaviorSanitizer
#   SANITIZE=thread    build in build/tsan with ThreadSanitizer
#   TESTS=regex        run only the ctest tests whose names match
# make lint: clang-tidy (.clang-tidy) over src/, tests/ and bench/ as build/debug compiles
# them, LINT_JOBS (default 2) files at a time; any finding fails it.
# make package: a Debian package in build/package (scripts/check-package checks it).
.PHONY: run test build release package bench bench-e2e bench-e2e-jack bench-e2e-pipewire \
        bench-e2e-pipewire-jack bench-peer bench-link soak soak-jack soak-pipewire soak-pipewire-jack \
        startup-time deps format lint clean

JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
SANITIZE ?=
TESTS ?=

ifeq ($(SANITIZE),)
TEST_DIR := build/debug
TEST_FLAGS := -DCMAKE_BUILD_TYPE=Debug
else
TEST_DIR := build/$(patsubst address,asan,$(patsubst thread,tsan,$(SANITIZE)))
TEST_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARROWTUNE_SANITIZE=$(SANITIZE) \
              -DMARROWTUNE_BENCH=OFF
endif
# libjack's own ring buffers, which ThreadSanitizer cannot follow: see the file's reasons.
TEST_ENV := $(if $(filter thread,$(SANITIZE)),TSAN_OPTIONS=suppressions=$(CURDIR)/tests/tsan.supp)

deps:
	@scripts/install-deps

run: deps
	cmake -S . -B build/release -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	      -DMARROWTUNE_TESTS=OFF -DMARROWTUNE_BENCH=OFF
	cmake --build build/release -j $(JOBS)
	build/release/src/app/marrowtune

test: deps
	cmake -S . -B $(TEST_DIR) -G "$(GENERATOR)" $(TEST_FLAGS) -DMARROWTUNE_TESTS=ON \
	      -DMARROWTUNE_WERROR=ON
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && $(TEST_ENV) ctest --output-on-failure --timeout 600 -j $(JOBS) \
	      $(if $(TESTS),-R '$(TESTS)')

bench: deps
	cmake -S . -B build/bench -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	      -DMARROWTUNE_TESTS=OFF -DMARROWTUNE_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	for b in build/bench/bench/bench_*; do $$b; done

# End to end on a private X server and PulseAudio (or a dummy JACK server): key-to-sound
# latency, Giada's on the same rig (bench-peer installs Debian's giada when missing), and a
# 10-minute soak with everything playing, counting dropouts. Not part of make test; E2E_ARGS
# passes options (--rate 44100, --minutes 1).
release: deps
	cmake -S . -B build/release -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	      -DMARROWTUNE_TESTS=OFF -DMARROWTUNE_BENCH=OFF
	cmake --build build/release -j $(JOBS)

package: deps
	cmake -S . -B build/package -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	      -DMARROWTUNE_TESTS=OFF -DMARROWTUNE_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build build/package -j $(JOBS)
	cd build/package && cpack
	@ls build/package/marrowtune_*.deb

bench-e2e: release
	bench/e2e_latency.py build/release/src/app/marrowtune $(E2E_ARGS)

bench-e2e-jack: release
	bench/e2e_latency.py build/release/src/app/marrowtune --jack $(E2E_ARGS)

# The same on a private PipeWire, as a Debian 12 desktop runs it: its PulseAudio side, its JACK
# side (scripts/install-deps --pipewire installs it).
bench-e2e-pipewire: release
	scripts/install-deps --pipewire
	bench/e2e_latency.py build/release/src/app/marrowtune --pipewire $(E2E_ARGS)

bench-e2e-pipewire-jack: release
	scripts/install-deps --pipewire
	bench/e2e_latency.py build/release/src/app/marrowtune --pipewire --jack $(E2E_ARGS)

bench-peer:
	bench/e2e_latency.py --peer giada $(E2E_ARGS)
	bench/e2e_latency.py --peer giada --peer-block 256 $(E2E_ARGS)

# Following an Ableton Link peer (LinkHut) on a dummy JACK server, in a network namespace of
# its own (needs root or user namespaces): tempo and beat phase, 10 minutes; E2E_ARGS="--minutes 1".
bench-link: deps
	cmake -S . -B build/bench -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release \
	      -DMARROWTUNE_TESTS=OFF -DMARROWTUNE_BENCH=ON
	cmake --build build/bench -j $(JOBS) --target link_phase
	bench/link_phase.py build/bench/bench/link_phase $(E2E_ARGS)

soak: release
	bench/soak.py build/release/src/app/marrowtune $(E2E_ARGS)

soak-jack: release
	bench/soak.py build/release/src/app/marrowtune --jack $(E2E_ARGS)

soak-pipewire: release
	scripts/install-deps --pipewire
	bench/soak.py build/release/src/app/marrowtune --pipewire $(E2E_ARGS)

soak-pipewire-jack: release
	scripts/install-deps --pipewire
	bench/soak.py build/release/src/app/marrowtune --pipewire --jack $(E2E_ARGS)

startup-time: release
	bench/startup_time.py build/release/src/app/marrowtune

lint: deps
	cmake -S . -B build/debug -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Debug -DMARROWTUNE_TESTS=ON \
	      -DMARROWTUNE_WERROR=ON
	scripts/lint build/debug

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
