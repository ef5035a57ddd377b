# Two entry points: `make run` and `make test`. Both install what is missing,
# configure, build and then run.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
PACKAGES = cmake ninja-build g++ pkg-config python3 libgtest-dev libgmock-dev \
           libbenchmark-dev libcairo2-dev libpango1.0-dev libplist-dev \
           libjavascriptcoregtk-4.1-dev libpng-dev desktop-file-utils imagemagick \
           libxcb1-dev libxcb-ewmh-dev libxcb-icccm4-dev libxcb-keysyms1-dev \
           libxcb-randr0-dev libxcb-composite0-dev libxcb-damage0-dev \
           libxcb-shm0-dev libxcb-xtest0-dev libxcb-res0-dev xvfb openbox fonts-urw-base35
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: setup configure build run test bench clean sanitize tsan thread-safety fuzz

# Build jobs for the sanitizer and fuzz builds (each has a build folder of
# its own, so the ordinary build is never rebuilt by them).
JOBS ?= $(shell nproc)
# Seconds each fuzz target runs in `make fuzz`.
FUZZ_TIME ?= 60
FUZZ_TARGETS = $(patsubst tests/fuzz/fuzz_%.cpp,%,$(wildcard tests/fuzz/fuzz_*.cpp))

setup:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi

configure: setup
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD)

run: build
	$(BUILD)/quorvex --demo --session resources/sessions/demo.session $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 600 -j$$(nproc)

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

# The whole suite with AddressSanitizer and UndefinedBehaviorSanitizer: any
# report fails the test it comes from. tests/lsan.supp lists the leaks of
# libraries that keep their caches for the life of the process.
sanitize: setup
	@[ -f build-asan/build.ninja ] || cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_SANITIZE=ON
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=$(CURDIR)/tests/ubsan.supp \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure --timeout 1200 -j$(JOBS)

# The whole suite with ThreadSanitizer (previews, the model, queues, run
# loops, file watching, tasks, the input stream, the scripting host and the
# X11 event thread all run work on threads). tests/tsan.supp holds the reports
# from inside uninstrumented drawing, font and script libraries. The script
# engine interrupts a script that runs too long with a signal; ThreadSanitizer
# holds signals back until the thread calls into the C library, which a
# compiled script loop never does, so the engine is told to poll for the
# interruption instead (JSC_usePollingTraps). For the same reason its
# collector, which stops the script's thread with a signal to scan its stack
# while collecting beside it, would wait for that thread for ever: the
# collector is told to collect on the script's own thread
# (JSC_useConcurrentGC=false).
tsan: setup
	@[ -f build-tsan/build.ninja ] || cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_TSAN=ON
	cmake --build build-tsan -j$(JOBS)
	cd build-tsan && TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1" \
	  JSC_usePollingTraps=true JSC_useConcurrentGC=false ctest --output-on-failure -j$(JOBS)

# Clang's thread-safety analysis over the X11 desktop, whose lock rule is
# written as annotations (what each mutex guards, which functions run with it
# held and which without): a breach fails the build. Only the X11 sources
# are compiled.
X11_OBJECTS = $(patsubst %,CMakeFiles/qv_desktop.dir/%.o,$(wildcard src/platform/desktop/x11/*.cpp))
thread-safety: setup
	@command -v clang++ >/dev/null || $(SUDO) apt-get install -y clang
	@[ -f build-tsa/build.ninja ] || CC=clang CXX=clang++ cmake -S . -B build-tsa -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_THREAD_SAFETY=ON
	cmake --build build-tsa -j$(JOBS) --target $(X11_OBJECTS)

# Runs every fuzz target for FUZZ_TIME seconds (clang's libFuzzer, with
# AddressSanitizer and UndefinedBehaviorSanitizer). Each starts from its saved
# corpus in tests/fuzz/corpus/NAME; new inputs go to build-fuzz/corpus/NAME
# and crashes to build-fuzz/crashes/. A crash input copied into the saved
# corpus stays in `make test` for good.
fuzz: setup
	@command -v clang++ >/dev/null || $(SUDO) apt-get install -y clang
	@[ -f build-fuzz/build.ninja ] || CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja \
	  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DQV_FUZZ=ON
	cmake --build build-fuzz -j$(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@mkdir -p build-fuzz/crashes
	@for t in $(FUZZ_TARGETS); do \
	  echo "== fuzz_$$t for $(FUZZ_TIME) s"; mkdir -p build-fuzz/corpus/$$t; \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp build-fuzz/tests/fuzz/fuzz_$$t -max_total_time=$(FUZZ_TIME) -max_len=65536 -timeout=120 -rss_limit_mb=4096 \
	    -artifact_prefix=build-fuzz/crashes/$$t- build-fuzz/corpus/$$t tests/fuzz/corpus/$$t || exit 1; \
	done

clean:
	rm -rf $(BUILD)
