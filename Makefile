# Set-up and everyday commands. Every target first installs missing Debian packages.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 30
CMAKE_FLAGS ?=
PREFIX     ?= /usr/local
# Left out under node: tests of threads (the page has one), of other processes (it is the only
# one), of file kinds and limits that node's file system has not (devices, a FIFO, RLIMIT_FSIZE,
# sizes past 4 GiB, a file dated back), and the comparison with the C library's strtod, whose
# musl reads "-nan" without its sign (the engine keeps glibc's).
WEB_ENGINE_FILTER ?= *-ParamLock.TryAcquireFailsFromAnotherThread*:*NothingSelectedWritesNoFile*:*HeldElsewhere:*SourceWithoutASize*:*WaitingForTheLock*:*StillDropsTheCounters:*WaitsForABusyStore*:*AcrossThreads:*IsAtomicAndConsecutive:*RacingWriters*:*FullDiskKeepsWhatWasThere:*BeyondThirtyTwoBits*:*CancelledExportLeavesTheTargetAsItWas:*AtofMatchesStrtod*:*DevicesAndPipesAreWrittenInPlace:*StaleTemporariesOfTheTargetGo

.PHONY: all deps configure build run test install package sanitize tsan fuzz bench screenshots format clean web \
        web-engine-tests

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD)

# The windowed program. Without a display it runs under a virtual one (xvfb-run), invisibly:
# useful only to see that it starts; stop it with Ctrl+C.
run: build
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
	  ./$(BUILD)/bin/tarvik; \
	elif command -v xvfb-run >/dev/null 2>&1; then \
	  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running under xvfb-run, invisibly; Ctrl+C stops it."; \
	  xvfb-run -a ./$(BUILD)/bin/tarvik; \
	else \
	  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset) and no xvfb-run: cannot show the window."; \
	  echo "The command line works without one: ./$(BUILD)/bin/tarvik-cli --help"; \
	  exit 1; \
	fi

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j2

# The page in web/dist/ (index.html, tarvik.js, styles.css), built by emscripten.
web: configure
	cmake --build $(BUILD) --target web

# The engine's unit tests compiled as the page's engine is, run by node (not part of make
# test: compiling them for the browser takes longer than the rest of the suite).
web-engine-tests: web
	NODE_PATH=/usr/share/nodejs cmake --build $(BUILD)/web --target engine_tests
	node $(BUILD)/web/engine_tests.js --gtest_filter='$(WEB_ENGINE_FILTER)'

# Both programs, the desktop entry, icons, metainfo and man page under PREFIX (DESTDIR is
# honoured for staging).
install: build
	cmake --install $(BUILD) --prefix $(PREFIX) --strip

# A .deb for /usr in $(BUILD)/, its dependencies computed from the linked libraries.
package: build
	cd $(BUILD) && cpack -G DEB

# AddressSanitizer + UndefinedBehaviorSanitizer build of everything, the same tests,
# then each fuzzer for a bounded time.
sanitize: deps
	CC=$$(command -v clang || echo cc) CXX=$$(command -v clang++ || echo c++) \
	  cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARVIK_SANITIZE=ON -DTARVIK_FUZZ=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j2
	$(MAKE) --no-print-directory fuzz BUILD=$(ASAN_BUILD)

# ThreadSanitizer build of the engine and the command line, their tests and the pipeline
# stress test. The windows stay out: Debian's Qt is not instrumented, so the sanitizer cannot
# see the hand-offs through its event queue. The allocation-failure sweep replaces operator new,
# as the sanitizer's runtime does, and runs in the other builds.
tsan: deps
	CC=$$(command -v clang || echo cc) CXX=$$(command -v clang++ || echo c++) \
	  cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVIK_TSAN=ON -DTARVIK_WITH_UI=OFF $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --test-dir $(TSAN_BUILD) --output-on-failure -j2

fuzz:
	@set -e; found=0; for f in $(BUILD)/bin/fuzz_*; do \
	  [ -x "$$f" ] || continue; found=1; name=$$(basename $$f); \
	  mkdir -p $(BUILD)/fuzz-corpus/$$name; \
	  echo "== $$name for $(FUZZ_SECONDS) s"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=0 -close_fd_mask=3 \
	      -artifact_prefix=$(BUILD)/fuzz-corpus/$$name- \
	      $(BUILD)/fuzz-corpus/$$name tests/fuzz/corpus/$${name#fuzz_}; \
	done; [ $$found = 1 ] || echo "no fuzzers built (needs clang with libFuzzer)"

bench: build
	cmake --build $(BUILD) --target benchmarks
	bash bench/run.sh $(BUILD)

screenshots: build
	cmake --build $(BUILD) --target screenshots

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
