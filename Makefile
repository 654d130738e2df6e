# The two commands that set up everything on a fresh Debian 12 machine:
#   make run    installs what is missing, builds, and launches Kelvrin
#   make test   installs what is missing, builds (plain and sanitized), runs every test
SHELL := /bin/bash

PACKAGES := cmake ninja-build g++ pkg-config \
	qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-image-formats-plugins \
	libpoppler-qt6-dev libtiff-dev libx11-dev libxtst-dev \
	libgtest-dev libgmock-dev \
	xvfb xauth openbox xclip xdotool x11-utils imagemagick fonts-dejavu-core

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS := $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan
CMAKE_FLAGS := -G Ninja -DKELVRIN_WERROR=ON

.PHONY: deps build build-asan run test bench format clean

deps:
	@missing=$$(for p in $(PACKAGES); do \
		dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
		echo "Installing Debian packages:" $$missing; \
		$(SUDO) apt-get update && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DKELVRIN_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ]; then \
		echo "No X display: starting a private Xvfb and running Kelvrin there."; \
		exec tools/run-private-display $(BUILD)/kelvrin; \
	else \
		exec $(BUILD)/kelvrin; \
	fi

test: build build-asan
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

bench: build
	bench/run-all $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
