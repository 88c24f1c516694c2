# The Arkel: build, run and test from a fresh Debian 12 machine.
#   make run    build and start arkel.exe under Wine as a window of the desktop
#               (HANDHELD=1: in a 240x320 virtual desktop; ARKEL_SCALE=1.5: at 144 DPI)
#   make test   build and run every test (native portable core, Win32 under Wine, end to end)

BUILD  ?= build
WIN    := $(BUILD)/win
NATIVE := $(BUILD)/native
JOBS   ?= $(shell nproc)

.PHONY: all deps build win native run test clean arkfile bench bench-store fuzz dist install uninstall crashtest bench-vault

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

HANDHELD ?= 0
run: win
	@HANDHELD=$(HANDHELD) scripts/run.sh $(WIN)

# Native tests run in parallel; the Win32 tests one at a time, since they share the test
# prefix's registry key and the display's focus.
test: build
	@ctest --test-dir $(NATIVE) --output-on-failure -j$(JOBS)
	@scripts/with-display.sh scripts/ctest-wine.sh $(WIN)

# The closing pass killed with SIGKILL at random moments (not part of make test):
# CRASH_ROUNDS kills of a store of CRASH_OBJECTS objects, each followed by a start that must give
# back every object exactly.
CRASH_ROUNDS ?= 50
CRASH_OBJECTS ?= 2000
# It has a Wine prefix of its own, so that it can run beside the tests.
crashtest: win
	@WINEPREFIX=$(CURDIR)/$(WIN)/crash-prefix scripts/with-display.sh scripts/wine-prefix.sh
	@WINEPREFIX=$(CURDIR)/$(WIN)/crash-prefix WINEDEBUG=-all FONTCONFIG_FILE=$(CURDIR)/scripts/fonts.conf \
	  scripts/with-display.sh bash tests/e2e/crash.sh $(WIN)/bin $(CRASH_ROUNDS) $(CRASH_OBJECTS)

# The Windows package: build/dist/arkel-3.01-win64.zip (reproducible; no DLL beyond Windows').
dist: win
	@scripts/dist.sh $(WIN) $(BUILD)/dist/arkel-3.01-win64.zip

# For one user on Linux: the launcher arkel (the program under Wine as a window of the desktop, or
# with --handheld in a 240x320 desktop), a
# desktop entry with the program's icon, and arkfile, under PREFIX (default ~/.local).
PREFIX ?= $(HOME)/.local
install: win arkfile
	@scripts/install.sh install $(WIN)/bin $(BUILD)/arkfile "$(PREFIX)"

uninstall:
	@scripts/install.sh uninstall "$(PREFIX)"

# arkfile, the exchange-file tool, as an optimised native program: build/arkfile.
arkfile: deps
	@test -f $(BUILD)/release/CMakeCache.txt || cmake -S . -B $(BUILD)/release -Wno-dev \
	  -DCMAKE_BUILD_TYPE=Release -DARKEL_TESTS=OFF >/dev/null
	@cmake --build $(BUILD)/release -j$(JOBS) --target arkfile
	@cp $(BUILD)/release/tools/arkfile/arkfile $(BUILD)/arkfile

# cipherTriple against OpenSSL's DES-EDE3 (Release, no sanitizers).
bench: deps
	@test -f $(BUILD)/bench/CMakeCache.txt || cmake -S . -B $(BUILD)/bench -Wno-dev \
	  -DCMAKE_BUILD_TYPE=Release -DARKEL_BENCH=ON >/dev/null
	@cmake --build $(BUILD)/bench -j$(JOBS)
	@$(BUILD)/bench/bench/cipher_bench --benchmark_min_time=1

# The vault's closing and opening passes on BENCH_OBJECTS objects, each beside the same records
# written in one transaction, under Wine (in a prefix of its own, so that it can run beside the tests).
BENCH_OBJECTS ?= 10000
bench-vault: win
	@WINEPREFIX=$(CURDIR)/$(WIN)/bench-prefix scripts/with-display.sh scripts/wine-prefix.sh
	@WINEPREFIX=$(CURDIR)/$(WIN)/bench-prefix WINEDEBUG=-all scripts/with-display.sh \
	  wine $(WIN)/bin/vault_bench.exe $(BENCH_OBJECTS)

# A full store against the floors of SQLite and Wine's controls: arkstore load, start-up,
# selection, memory, the closing and opening passes, export and import (not part of make test).
# BENCH_SIZES chooses other store sizes.
BENCH_SIZES ?= 500 8000 65535
bench-store: win
	@cmake --build $(WIN) -j$(JOBS) --target store_bench vault_bench exchange_bench
	@scripts/with-display.sh scripts/bench-store.sh $(WIN) $(BENCH_SIZES)

# Each libFuzzer target for FUZZ_SECONDS (clang, ASan, UBSan); the corpus grows in the build tree.
FUZZ_SECONDS ?= 25
fuzz: deps
	@test -f $(BUILD)/fuzz/CMakeCache.txt || cmake -S . -B $(BUILD)/fuzz -Wno-dev \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DARKEL_FUZZ=ON >/dev/null
	@cmake --build $(BUILD)/fuzz -j$(JOBS)
	@for t in exchange decrypt_fields clipboard blob help csv keepass_xml; do \
	  mkdir -p $(BUILD)/fuzz/corpus/$$t $(BUILD)/fuzz/artifacts; \
	  log=$(BUILD)/fuzz/fuzz_$$t.log; \
	  $(BUILD)/fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(BUILD)/fuzz/artifacts/ $(BUILD)/fuzz/corpus/$$t fuzz/seeds/$$t >$$log 2>&1; \
	  rc=$$?; \
	  echo "fuzz_$$t: $(FUZZ_SECONDS) s, $$(grep -o 'number_of_executed_units: *[0-9]*' $$log | grep -o '[0-9]*$$') runs, exit $$rc"; \
	  if [ $$rc -ne 0 ]; then tail -n 40 $$log; exit 1; fi; \
	done

clean:
	rm -rf $(WIN) $(NATIVE)
