# The two commands that set up everything on a fresh Debian 12 machine:
#   make run    installs what is missing, builds, and launches Kelvrin
#   make test   installs what is missing, builds (plain and sanitized), runs every test
# the Debian package, and its checks (lintian, the metadata validators, an install and a purge):
#   make deb            leaves dist/kelvrin_VERSION_ARCH.deb
#   make check-package  (run by CI after make test)
# and one that puts Kelvrin on other systems (the binary, its desktop entry, icons, manual page,
# GNOME Shell extension):
#   make install [PREFIX=/usr/local] [DESTDIR=]
SHELL := /bin/bash

# The build's packages are debian/control's Build-Depends, installed by apt-get build-dep from this
# tree; what the program needs to run comes from the same file's Depends and Recommends. Only the
# tests need these: GoogleTest, the fuzzers' compiler, the X servers, window managers, compositors
# and the programs that play the other side of the clipboard and the keyboard.
RUN_PACKAGES = $(shell tools/control-packages Depends Recommends)
TEST_PACKAGES := libgtest-dev libgmock-dev clang-14 libclang-rt-14-dev \
	xvfb xauth openbox xclip xdotool x11-utils x11-xkb-utils xterm imagemagick fonts-dejavu-core \
	xfwm4 dbus-daemon i3-wm trayer \
	libreoffice-writer-nogui \
	sway wl-clipboard wtype foot weston \
	kwin-wayland libkf5service-bin konsole qtwayland5 \
	gnome-shell gnome-console gjs gir1.2-adw-1 gir1.2-gtk-4.0 \
	syncthing
# Only the package and its checks need these; the package's own build needs are in debian/control.
PACKAGE_TOOLS := debhelper dpkg-dev fakeroot lintian desktop-file-utils appstream man-db
# Only the benchmarks need these: another clipboard manager to measure Kelvrin against.
BENCH_PACKAGES := parcellite

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS := $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan
FUZZ_BUILD := build-fuzz
CMAKE_FLAGS := -G Ninja -DKELVRIN_WERROR=ON
PREFIX ?= /usr/local

.PHONY: build-deps deps bench-deps build build-asan run test bench format clean fuzz install deb check-package

# Installs those of the packages given that are missing.
define install-missing
	@missing=$$(for p in $(1); do \
		dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
		echo "Installing Debian packages:" $$missing; \
		$(SUDO) apt-get update && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
endef

build-deps:
	@dpkg-checkbuilddeps 2>/dev/null || { \
		echo "Installing the build's packages (debian/control's Build-Depends)"; \
		$(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get build-dep -y --no-install-recommends ./; }

deps: build-deps
	$(call install-missing,$(RUN_PACKAGES) $(TEST_PACKAGES))

bench-deps:
	$(call install-missing,$(BENCH_PACKAGES))

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

test: build build-asan fuzz
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# A minute of fuzzing each of the archive, RTF and RTFD decoders and the set list reader, as
# many at a time as there are cores; any crash, sanitizer report, hang or huge allocation fails
# the target and leaves the input in $(FUZZ_BUILD) as crash-*, rtf-crash-*, rtfd-crash-* or
# setlist-crash-*. The seeds are in tests/fuzz/corpus; each fuzzer adds what it finds to a copy.
FUZZ_TARGETS := fuzz-typedstream fuzz-rtf fuzz-rtfd fuzz-setlist
.PHONY: $(FUZZ_TARGETS)
FUZZ_LIMITS := -max_total_time=60 -timeout=10 -rss_limit_mb=2048
fuzz: deps
	CC=clang-14 CXX=clang++-14 cmake -S tests/fuzz -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	for corpus in typedstream rtf rtfd setlist; do \
		mkdir -p $(FUZZ_BUILD)/$$corpus-corpus && cp tests/fuzz/corpus/$$corpus/* $(FUZZ_BUILD)/$$corpus-corpus/; \
	done
	$(MAKE) --no-print-directory --output-sync=target -j $(JOBS) $(FUZZ_TARGETS)

fuzz-typedstream:
	UBSAN_OPTIONS=print_stacktrace=1 $(FUZZ_BUILD)/typedstream_fuzz $(FUZZ_LIMITS) -malloc_limit_mb=512 \
		-max_len=4096 -dict=tests/fuzz/typedstream.dict -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/typedstream-corpus

fuzz-rtf:
	UBSAN_OPTIONS=print_stacktrace=1 $(FUZZ_BUILD)/rtf_fuzz $(FUZZ_LIMITS) -malloc_limit_mb=512 \
		-max_len=8192 -dict=tests/fuzz/rtf.dict -artifact_prefix=$(FUZZ_BUILD)/rtf- $(FUZZ_BUILD)/rtf-corpus

fuzz-rtfd:
	UBSAN_OPTIONS=print_stacktrace=1 $(FUZZ_BUILD)/rtfd_fuzz $(FUZZ_LIMITS) -malloc_limit_mb=512 \
		-max_len=8192 -dict=tests/fuzz/rtf.dict -artifact_prefix=$(FUZZ_BUILD)/rtfd- $(FUZZ_BUILD)/rtfd-corpus

fuzz-setlist:
	UBSAN_OPTIONS=print_stacktrace=1 $(FUZZ_BUILD)/setlist_fuzz $(FUZZ_LIMITS) -malloc_limit_mb=512 \
		-artifact_prefix=$(FUZZ_BUILD)/setlist- $(FUZZ_BUILD)/setlist-corpus

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The package is built from this tree by dpkg-buildpackage, which puts it beside the tree; it is
# moved into dist/. Its build needs the program alone (debian/rules), not the tests' builds.
# Read when used: the tools that tell are installed by the rule that first needs them.
VERSION = $(shell dpkg-parsechangelog -S Version)
ARCH = $(shell dpkg --print-architecture)
DEB = dist/kelvrin_$(VERSION)_$(ARCH).deb
APP_ID := io.github.kelvrin.Kelvrin

deb: build-deps
	$(call install-missing,$(PACKAGE_TOOLS))
	dpkg-buildpackage -b -us -uc
	mkdir -p dist
	mv ../kelvrin_$$(dpkg-parsechangelog -S Version)_$$(dpkg --print-architecture).{deb,buildinfo,changes} dist/

# lintian passes with no error nor warning left unexplained (debian/kelvrin.lintian-overrides);
# the metadata validates; the installed package works from its own files; a purge leaves none
# of them behind.
check-package: deb
	lintian --fail-on error,warning --info $(DEB)
	rm -rf dist/contents && dpkg-deb -x $(DEB) dist/contents
	desktop-file-validate dist/contents/usr/share/applications/$(APP_ID).desktop
	appstreamcli validate --no-net --explain dist/contents/usr/share/metainfo/$(APP_ID).metainfo.xml
	$(SUDO) apt-get install -y ./$(DEB)
	dpkg -L kelvrin | sort > dist/installed-files
	test "$$(/usr/bin/kelvrin --version)" = "kelvrin $(VERSION)"
	man -w kelvrin
	/usr/bin/kelvrin --print-folder tests/fixtures/sets | grep -q '"contents":"Kind regards"'
	test -f /usr/share/gnome-shell/extensions/kelvrin@kelvrin.github.io/schemas/gschemas.compiled
	$(SUDO) apt-get purge -y kelvrin
	@left=$$(while read -r path; do [ -f "$$path" ] && echo "$$path"; done < dist/installed-files); \
	if [ -n "$$left" ]; then echo "left behind by the purge:" $$left; exit 1; fi
	@echo "The package installs, works and purges cleanly."

bench: build bench-deps
	bench/run-all $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) dist obj-*
