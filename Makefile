# Tapeworks2: a thin wrapper around CMake.
#   make run        install what is missing, build the editor alone, start it
#   make test       install what is missing, build, run the whole test suite
#                   (normal build, ThreadSanitizer for playback and ports, fuzzing, the Debian
#                   package, ASan+UBSan)
#   make bench      build optimised and print the benchmark figures
#   make fuzz       run the MIDI file reader fuzzer (FUZZ_SECONDS, default 60)
#   make install    install into PREFIX (default /usr/local)
#   make deb        build the Debian package tapeworks2_VERSION_amd64.deb here (Release, no tests)

SHELL := /bin/bash
ROOT := $(CURDIR)
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
# The folders that the ThreadSanitizer run needs: the port, the worker and playback, and below.
TSAN_DIRS := testsupport;safefile;notes;midifile;mididevice;scoremodel;render;scoretape
PREFIX ?= /usr/local
CMAKE_GEN := -G Ninja
CTEST := ctest --output-on-failure -j2 --timeout 300
# The sanitizer builds optimise less and keep only line tables: their stack traces still name files
# and lines, and they compile in about half the time (-O1 is what the sanitizers recommend).
SANITIZE_FLAGS := -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"

export ASAN_OPTIONS ?= detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS ?= suppressions=$(ROOT)/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS ?= suppressions=$(ROOT)/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1

.PHONY: all deps build run test test-normal test-asan test-tsan test-deb fuzz bench install deb \
	screenshot clean

all: build

deps:
	@scripts/install-deps.sh

build/build.ninja:
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps build/build.ninja
	cmake --build build -j $(JOBS)

# Only the editor is built (the tests and benchmarks wait for make test and make bench).
run: deps build/build.ninja
	@echo "make run: building the editor (build/bin/tapeworks2) ..."
	cmake --build build -j $(JOBS) --target tapeworks2
	@echo "make run: starting the editor through scripts/run-editor.sh"
	@exec scripts/run-editor.sh build/bin/tapeworks2 $(ARGS)

test-normal: build
	scripts/test-env.sh $(CTEST) --test-dir build

build-tsan/build.ninja:
	cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_SANITIZE=thread \
	    -DTW_ONLY="$(TSAN_DIRS)" $(SANITIZE_FLAGS)

# Only the tests labelled tsan are built (target tests_tsan), with what they link.
test-tsan: deps build-tsan/build.ninja
	cmake --build build-tsan -j $(JOBS) --target tests_tsan
	@if [ -n "$$(ctest --test-dir build-tsan -N -L tsan | grep 'Total Tests: [1-9]')" ]; then \
	    scripts/test-env.sh $(CTEST) --test-dir build-tsan -L tsan; \
	fi

# Everything but the benchmarks, which make test does not run.
build-asan/build.ninja:
	cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_SANITIZE=address \
	    -DTW_BENCH=OFF $(SANITIZE_FLAGS)

test-asan: deps build-asan/build.ninja
	cmake --build build-asan -j $(JOBS)
	scripts/test-env.sh $(CTEST) --test-dir build-asan

# The fuzz targets and the libraries below them; their tests run in the other builds.
build-fuzz/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DTW_SANITIZE=address -DTW_FUZZ=ON -DTW_ONLY="safefile;notes;midifile;fuzz" -DBUILD_TESTING=OFF

fuzz: deps build-fuzz/build.ninja
	@if command -v clang++ >/dev/null && [ -f fuzz/CMakeLists.txt ]; then \
	    cmake --build build-fuzz -j $(JOBS) && scripts/run-fuzz.sh build-fuzz $(FUZZ_SECONDS); \
	else \
	    echo "fuzz: clang or the fuzz targets are missing; skipped"; \
	fi

# The ASan+UBSan run comes last so that the output ends with CTest's summary line.
test: deps test-normal fuzz test-tsan test-deb test-asan

build-bench/build.ninja:
	cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release

bench: deps build-bench/build.ninja
	cmake --build build-bench -j $(JOBS)
	scripts/test-env.sh scripts/run-bench.sh build-bench

# The build learns PREFIX first: the editor looks for the installed instruments there.
install: deps build/build.ninja
	prefix=$(PREFIX) && cmake -S . -B build -DCMAKE_INSTALL_PREFIX="$$prefix"
	cmake --build build -j $(JOBS)
	cmake --install build

# The package is built from a tree of its own: Release, without the tests, GoogleTest and the
# benchmarks, for the prefix /usr, hardened as Debian builds its packages (dpkg-buildflags, less
# its -g and -O2: the package carries no debug information and Release optimises with -O3; the
# fortified C library warns of results that the file writer leaves unread on purpose, such as
# keeping a replaced file's group); only the program and its manual page are built there.
build-deb/build.ninja:
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all && \
	cmake -S . -B build-deb $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	    -DCMAKE_INSTALL_PREFIX=/usr \
	    -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS | \
	        sed -E 's/(^| )-(g|O2)( |$$)/ /g; s/(^| )-(g|O2)( |$$)/ /g') -Wno-unused-result" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)"

deb: deps build-deb/build.ninja
	cmake --build build-deb -j $(JOBS) --target tapeworks2 manpage
	rm -rf build-deb/package
	cd build-deb && cpack -G DEB
	rm -f tapeworks2_*.deb
	cp build-deb/package/tapeworks2_*.deb .
	@echo "make deb: $$(ls tapeworks2_*.deb) (install it with: sudo apt-get install ./$$(ls tapeworks2_*.deb))"

# The package checked: unpacked into a scratch root, its program answers and exports from there,
# and lintian finds no error.
test-deb: deb
	scripts/check-deb.sh tapeworks2_*.deb

screenshot: build
	scripts/screenshot.sh

clean:
	rm -rf build build-asan build-tsan build-fuzz build-bench build-deb tapeworks2_*.deb
