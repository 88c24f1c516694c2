# The Arkel: build, run and test from a fresh Debian 12 machine.
#   make run    build and start arkel.exe under Wine in a 240x320 virtual desktop
#   make test   build and run every test (native portable core, Win32 under Wine, end to end)

BUILD  ?= build
WIN    := $(BUILD)/win
NATIVE := $(BUILD)/native
JOBS   ?= $(shell nproc)

.PHONY: all deps build win native run test clean

all: build

deps:
	@scripts/deps.sh

build: win native

win: deps
	@test -f $(WIN)/CMakeCache.txt || cmake -S . -B $(WIN) -Wno-dev \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
	  -DARKEL_SQLITE_DIR=$(CURDIR)/$(BUILD)/deps/sqlite >/dev/null
	@cmake --build $(WIN) -j$(JOBS)

# Native build of the portable core with AddressSanitizer and UndefinedBehaviorSanitizer.
native: deps
	@test -f $(NATIVE)/CMakeCache.txt || cmake -S . -B $(NATIVE) -Wno-dev -DARKEL_SANITIZE=ON >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

run: win
	@scripts/run.sh $(WIN)

# Native tests run in parallel; the Win32 tests one at a time, since they share the test
# prefix's registry key and the display's focus.
test: build
	@ctest --test-dir $(NATIVE) --output-on-failure -j$(JOBS)
	@scripts/with-display.sh scripts/ctest-wine.sh $(WIN)

clean:
	rm -rf $(WIN) $(NATIVE)
