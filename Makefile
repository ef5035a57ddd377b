# Two entry points: `make run` and `make test`. Both install what is missing,
# configure, build and then run.
BUILD ?= build
BUILD_TYPE ?= RelWithDebInfo
PACKAGES = cmake ninja-build g++ pkg-config python3 libgtest-dev libgmock-dev \
           libbenchmark-dev libcairo2-dev libpango1.0-dev libplist-dev \
           libjavascriptcoregtk-4.1-dev libpng-dev desktop-file-utils imagemagick \
           libxcb1-dev libxcb-ewmh-dev libxcb-icccm4-dev libxcb-keysyms1-dev \
           libxcb-randr0-dev libxcb-composite0-dev libxcb-damage0-dev \
           libxcb-shm0-dev libxcb-xtest0-dev xvfb openbox fonts-urw-base35
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: setup configure build run test bench clean

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
	$(BUILD)/quorvex --session resources/sessions/demo.session $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 600 -j$$(nproc)

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD)
