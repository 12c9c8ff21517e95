# One word to build and start the editor, one to run every test.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
BUILD_TYPE ?= RelWithDebInfo

FUZZ_SECONDS ?= 30

.PHONY: all deps configure build run test test-qt5 windows test-windows package test-sanitize fuzz bench bench-build bench-import screenshot clean

all: build

deps:
	@tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTOLVANE_BUILD_BENCH=ON $(CMAKE_FLAGS)

# Everything: the programs, the tests and the benchmarks.
build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Opens a fresh copy of the sample disc in the console's view, or IMAGE=path.
# Builds only the editor and the sample disc: the tests wait for make test.
IMAGE ?=
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target tolvane-editor sample_disc
ifeq ($(IMAGE),)
	cp $(BUILD)/sample/sample.bin $(BUILD)/sample/try-me.bin
	$(BUILD)/bin/tolvane-editor --console-view $(BUILD)/sample/try-me.bin
else
	$(BUILD)/bin/tolvane-editor "$(IMAGE)"
endif

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Everything again with the window built against Qt 5.15 (the last Qt for 32-bit Windows).
test-qt5:
	@tools/install-deps.sh qtbase5-dev
	cmake -S . -B build-qt5 -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTOLVANE_QT_MAJOR=5 $(CMAKE_FLAGS)
	cmake --build build-qt5 -j $(JOBS)
	cd build-qt5 && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The Windows programs (the native window and the command line) and the tests of
# the core, the editor and the command line as 32-bit Windows programs (MinGW-w64).
# The toolchain file is read on the first configure only: CMake need not say so on the next.
windows:
	@tools/install-deps.sh --windows
	cmake -S . -B build-windows --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DTOLVANE_BUILD_GUI=ON $(CMAKE_FLAGS)
	cmake --build build-windows -j $(JOBS)

# Those tests under Wine with a Wine prefix of their own, and the window driven
# through its real dialogs under Wine on a virtual X display (prefix of its own too).
# Wine names Unix files in the locale's character set: without a UTF-8 locale (no
# LANG, as in a fresh container) the tests' non-ASCII file names cannot be opened,
# so they run in C.UTF-8, which every glibc has, unless a UTF-8 locale is set.
WINDOWS_TEST_LOCALE = $(if $(filter UTF-8,$(shell locale charmap 2>/dev/null)),,LC_ALL=C.UTF-8)
test-windows: windows
	cd build-windows && $(WINDOWS_TEST_LOCALE) WINEPREFIX=$(CURDIR)/build-windows/wine WINEDEBUG=-all \
	  WINEDLLOVERRIDES="mscoree,mshtml=" ctest --output-on-failure

# The packages people download, into build-package/packages: a .deb for Debian 12
# and Ubuntu 24.04 or later (installed in /usr, the C++ runtime shared, as
# distributions link it) and tolvane-VERSION-win32.zip with the Windows programs;
# then checked by lintian, desktop-file-validate and appstreamcli. The .deb's
# programs get the hardening Debian builds its own with (fortified string
# functions, a stack protector, read-only relocations bound at start).
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package: deps windows
	@tools/install-deps.sh --package
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DTOLVANE_BUILD_TESTS=OFF \
	  -DTOLVANE_SHARED_RUNTIME=ON -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" $(CMAKE_FLAGS)
	cmake --build build-package -j $(JOBS)
	rm -rf build-package/packages
	cd build-package && cpack -B $(CURDIR)/build-package/packages
	cd build-windows && cpack -B $(CURDIR)/build-package/packages
	tools/check-package.sh build-package/packages/tolvane-editor_*.deb build-package/packages/tolvane-*-win32.zip

# The tests without the window, under AddressSanitizer and UndefinedBehaviorSanitizer,
# with the C++ library checking its own preconditions (an empty optional, an index).
test-sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_BUILD_GUI=OFF -DTOLVANE_SHARED_RUNTIME=ON \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS"
	cmake --build build-sanitize -j $(JOBS)
	cd build-sanitize && ctest --output-on-failure -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS under AddressSanitizer and UndefinedBehaviorSanitizer,
# from seeds of every BMP and PNG kind. A crash leaves its input in build-fuzz/; make it a test.
fuzz: deps
	CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVANE_BUILD_GUI=OFF \
	  -DTOLVANE_BUILD_TESTS=OFF -DTOLVANE_BUILD_FUZZERS=ON -DTOLVANE_SHARED_RUNTIME=ON \
	  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
	cmake --build build-fuzz -j $(JOBS)
	fuzz/make-seeds.sh build-fuzz/seeds build-fuzz/bin/tolvane-sample
	for target in bitmap_reader_fuzzer png_reader_fuzzer import_fuzzer chd_reader_fuzzer; do \
	  mkdir -p build-fuzz/corpus-$$target && \
	  (cd build-fuzz && bin/$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    corpus-$$target seeds) || exit 1; \
	done

# Time per operation of each step of an import, on data in memory (Google Benchmark);
# BENCH_FLAGS go to the program, e.g. --benchmark_repetitions=5.
bench: bench-build
	$(BUILD)/bin/logo_bench $(BENCH_FLAGS)

# tolvane import against the least an import with its undo record can cost
# (bench/import_floor.cpp), on a 4 GiB and a 1 MiB image on this machine's disk.
bench-import: bench-build
	@tools/install-deps.sh hyperfine
	bench/time-import.sh $(BUILD)

bench-build: configure
	cmake --build $(BUILD) -j $(JOBS) --target logo_bench tolvane_bench_files import_floor tolvane

# The README's picture, made from a generated sample image by the real window.
screenshot: build
	$(BUILD)/bin/tolvane-screenshot docs/screenshot.png $(BUILD)/sample/sample.bin

clean:
	rm -rf $(BUILD) build-sanitize build-fuzz build-qt5 build-windows build-package
