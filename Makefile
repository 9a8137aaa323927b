# The two everyday commands: `make run` and `make test`. Both install what is missing first.
BUILD ?= build/release
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# Extra arguments for every benchmark executable (CI: one quick pass of each).
BENCH_ARGS ?=

.PHONY: run test bench deps deps-windows build build-asan test-asan test-tsan fuzz soak windows windows-test windows-check format-check clean

deps:
	@scripts/install-deps

deps-windows:
	@scripts/install-deps --windows

# The benchmarks have their own optimised tree (make bench).
build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVYN_BENCH=OFF $(CMAKE_FLAGS) > /dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-vyn $(BUILD)

test: build
	@scripts/run-tests $(BUILD)

bench: deps
	@cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVYN_TESTS=OFF > /dev/null
	@cmake --build build/bench -j $(JOBS)
	@scripts/run-benchmarks build/bench $(BENCH_ARGS)

# The test suite again with AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVYN_BENCH=OFF \
		"-DVYN_SANITIZE=address;undefined" > /dev/null
	@cmake --build build/asan -j $(JOBS)
	@scripts/run-tests build/asan

# Threaded modules under ThreadSanitizer (only their test executables are built).
test-tsan: deps
	@cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVYN_BENCH=OFF \
		-DVYN_SANITIZE=thread > /dev/null
	@cmake --build build/tsan -j $(JOBS) --target vyn_threaded_tests
	@scripts/run-tests build/tsan -L threaded

# Every parser under libFuzzer (clang, its own tree): the targets of tests/fuzz/targets.cmake, run
# one after another for FUZZ_SECONDS each (CI: 10 s each; releases: FUZZ_SECONDS=600 make fuzz).
FUZZ_SECONDS ?= 15
FUZZ_BUILD ?= build/fuzz
fuzz: deps
	@cmake -S tests/fuzz -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_COMPILER=clang++ $(CMAKE_FLAGS) > /dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@scripts/fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The engine under load through JACK (128 frames, 48 kHz) while the library imports; see
# scripts/soak. CI runs it for 60 s; a release check runs it longer (SOAK_SECONDS=600 make soak).
SOAK_SECONDS ?= 60
soak: build
	@scripts/soak --seconds $(SOAK_SECONDS) --build $(BUILD)

# The Windows build: mingw-w64 (posix threads) in its own tree, packed with its runtime and the
# mapping presets; its tests run under wine with the test services.
WINDOWS_BUILD ?= build/windows
WINDOWS_PACKAGE ?= VYN-v0.1.8-beta-win64
windows: deps-windows
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DVYN_BENCH=OFF $(CMAKE_FLAGS) > /dev/null
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	@scripts/pack-windows $(WINDOWS_BUILD) $(WINDOWS_PACKAGE)

# The unit tests, the end-to-end tests that wine can host (WASAPI into the null sinks,
# Media Foundation, the Link server against Linux peers) and the window on the Xvfb display.
WINDOWS_TEST_LABELS ?= unit|e2e|gui
windows-test: windows
	@scripts/run-wine-tests $(WINDOWS_BUILD) -L '$(WINDOWS_TEST_LABELS)'

# Compiles the portable libraries for Windows with mingw-w64 (compile only).
windows-check: deps
	@cmake -S . -B build/mingw -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
		-DVYN_PORTABLE_ONLY=ON -DVYN_TESTS=OFF -DVYN_BENCH=OFF > /dev/null
	@cmake --build build/mingw -j $(JOBS)

format-check:
	@git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' | \
		xargs clang-format --dry-run --Werror

clean:
	rm -rf build
