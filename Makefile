# Entry points: `make demo` and `make check`. Each installs what is missing, builds and runs.
JOBS ?= $(shell nproc)
CMAKE ?= cmake
CTEST ?= ctest

NATIVE := build
SANITIZED := build/sanitize
WIN32 := build/win32
WIN64 := build/win64
FUZZ := build/fuzz
FUZZ_SECONDS ?= 600

.PHONY: all demo check native sanitize win32 win64 wine-build check-native check-sanitize check-win32 \
	packages-native packages-win32 packages-bench bench format packages-fuzz fuzz-build fuzz \
	check-fuzz

all: native

packages-native:
	@tools/ensure-packages native

native: packages-native
	$(CMAKE) -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build $(NATIVE) -j $(JOBS)

packages-win32:
	@tools/ensure-packages win32

# Some machines cannot run 32-bit programs, and so not 32-bit Wine (tools/runs-32-bit-programs).
# There the module is still built for 32-bit Windows and packed, and its Windows tests run on
# the same sources built for 64-bit Windows, under 64-bit Wine.
RUNS_32_BIT := tools/runs-32-bit-programs
WINE_TESTS_32 = $$($(RUNS_32_BIT) && echo ON || echo OFF)

# Depends on native: the Windows tests compare the replay host with the native command.
win32: packages-win32 native
	$(CMAKE) -S . -B $(WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRAWLHUE_WINE_TESTS=$(WINE_TESTS_32) \
		-DBRAWLHUE_NATIVE_BRAWLHUE=$(abspath $(NATIVE)/bin/brawlhue)
	$(CMAKE) --build $(WIN32) -j $(JOBS)

win64: packages-win32 native
	$(CMAKE) -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DBRAWLHUE_NATIVE_BRAWLHUE=$(abspath $(NATIVE)/bin/brawlhue)
	$(CMAKE) --build $(WIN64) -j $(JOBS)

# The Windows build whose programs this machine runs: $(WIN32), or $(WIN64) built on demand.
wine-build: win32
	@$(RUNS_32_BIT) || { echo "This machine cannot run 32-bit programs: the Windows tests" \
		"and programs run on the 64-bit build of the same sources ($(WIN64))." >&2; \
		$(MAKE) --no-print-directory win64; }
WINE_BUILD = $$($(RUNS_32_BIT) && echo $(WIN32) || echo $(WIN64))

sanitize: packages-native
	$(CMAKE) -S . -B $(SANITIZED) -DCMAKE_BUILD_TYPE=Debug -DBRAWLHUE_SANITIZE=ON
	$(CMAKE) --build $(SANITIZED) -j $(JOBS)

check-native: native
	$(CTEST) --test-dir $(NATIVE) --output-on-failure -j $(JOBS)

check-sanitize: sanitize
	$(CTEST) --test-dir $(SANITIZED) --output-on-failure -j $(JOBS)

# Wine programs run one at a time: parallel Wine start-up is flaky.
check-win32: wine-build
	$(CTEST) --test-dir $(WINE_BUILD) --output-on-failure

check: check-native check-sanitize check-win32 check-fuzz check-win32-checked distcheck

packages-fuzz:
	@tools/ensure-packages fuzz

# libFuzzer targets under ASan and UBSan, built by clang in a folder of their own.
fuzz-build: packages-fuzz
	CC=clang-14 CXX=clang++-14 $(CMAKE) -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DBRAWLHUE_FUZZ=ON
	$(CMAKE) --build $(FUZZ) -j $(JOBS)

# Each target for FUZZ_SECONDS from the checked-in seeds; what it finds stays in
# $(FUZZ)/findings, which grows from run to run.
fuzz: fuzz-build
	fuzz/run-fuzzers $(FUZZ)/bin $(FUZZ)/findings $(FUZZ_SECONDS)

# The fuzzers' own tests, every checked-in seed once, then 30 seconds of each target.
check-fuzz: fuzz-build
	$(CTEST) --test-dir $(FUZZ) --output-on-failure -j $(JOBS)
	fuzz/run-fuzzers $(FUZZ)/bin $(FUZZ)/check 30 --fresh

packages-bench:
	@tools/ensure-packages bench

# Needs Google Benchmark and PCRE2; the build leaves brawlhue_bench out when they are missing.
# Then Parse through the DLL under Wine against the native engine on the same lines, and
# brawlhue-proxy against a relay of the same code with colouring off.
# Wine's server stays up a minute after its last program (tools/wine-run), and its helper
# processes would share the machine with the timings: it is stopped before each of them.
STOP_WINE = WINEPREFIX=$(CURDIR)/$(WINE_BUILD)/wineprefix wineserver -k 2>/dev/null || true
bench: packages-bench native wine-build
	@$(STOP_WINE)
	$(NATIVE)/bin/brawlhue_bench --benchmark_min_time=0.5
	bench/compare-com-path $(NATIVE) $(WINE_BUILD)
	@$(STOP_WINE)
	BRAWLHUE_PROXY=$(NATIVE)/bin/brawlhue-proxy BRAWLHUE_COMMAND=$(NATIVE)/bin/brawlhue \
		BRAWLHUE_SESSION_LOG=examples/session.log PYTHONDONTWRITEBYTECODE=1 \
		python3 proxy/tests/bench_proxy.py

# The sample session as zMUD would show it through Brawlhue.dll: the replay host connects one
# session (the plug-in's banner), then prints each received line as the plug-in left it.
demo: native wine-build
	dir=$(WINE_BUILD) && $$dir/wine-run regsvr32 /s $$dir/bin/Brawlhue.dll && \
		$$dir/wine-run $$dir/bin/brawlhost.exe examples/session.log

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# ---- Hardening ----
# The module once more, built so that undefined behaviour traps and the standard library checks
# its own preconditions. mingw-w64 ships no sanitizer runtime: the checks trap (ud2) in place
# instead of calling one, and GCC 12 spells that -fsanitize-undefined-trap-on-error. -O1 without
# debug information halves the compile time and keeps assert() on. Only the module's Wine tests
# are built there; they run whole under Wine's heap checks. On a machine that cannot run 32-bit
# programs it is built for 64-bit Windows instead, in build/win64-checked.
WIN32_CHECKED = $$($(RUNS_32_BIT) && echo build/win32-checked || echo build/win64-checked)
CHECKED_TOOLCHAIN = $$($(RUNS_32_BIT) && echo cmake/mingw-w64-i686.cmake || \
	echo cmake/mingw-w64-x86_64.cmake)
CHECKED_FLAGS := -fsanitize=undefined -fsanitize-undefined-trap-on-error -D_GLIBCXX_ASSERTIONS
SOAK_CALLS ?= 10000000

.PHONY: win32-checked check-win32-checked soak

win32-checked: packages-win32
	$(CMAKE) -S . -B $(WIN32_CHECKED) -DCMAKE_TOOLCHAIN_FILE=$(CHECKED_TOOLCHAIN) \
		-DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1 \
		"-DCMAKE_CXX_FLAGS=$(CHECKED_FLAGS)" -DBRAWLHUE_CHECKED_RUN=ON
	$(CMAKE) --build $(WIN32_CHECKED) -j $(JOBS) --target wineprefix plugin_tests \
		hardening_tests hardening_soak

check-win32-checked: win32-checked
	$(CTEST) --test-dir $(WIN32_CHECKED) -L checked --output-on-failure

# Ten million Parse calls mixed with session events through the registered module, then COM
# unloads it and loads it again; prints the calls, the time and the memory growth.
soak: wine-build
	BRAWLHUE_SOAK_CALLS=$(SOAK_CALLS) $(CTEST) --test-dir $(WINE_BUILD) -R '^hardening_soak$$' \
		--output-on-failure -V

# ---- The Windows release --------------------------------------------------------------------
DIST := dist

.PHONY: dist distcheck packages-dist packages-distcheck

packages-dist:
	@tools/ensure-packages dist

packages-distcheck:
	@tools/ensure-packages distcheck

# $(DIST)/Brawlhue-VERSION-win32.zip and $(DIST)/Brawlhue-VERSION-setup.exe, VERSION being the
# project's; the zip's colours.png is drawn from the DLL's own output by aha and Chromium.
dist: packages-dist win32
	packaging/make-packages $(WIN32) $(DIST)

# The same packages less the picture, installed and uninstalled under Wine in a fresh prefix:
# the setup program, and the zip's install.cmd and uninstall.cmd. Both are 32-bit programs: a
# machine that cannot run those builds the packages and says that it checks no more.
distcheck: packages-distcheck win32
	packaging/make-packages --no-picture $(WIN32) $(WIN32)/distcheck/packages
	@if $(RUNS_32_BIT); then packaging/check-packages $(WIN32) $(WIN32)/distcheck/packages; \
	else echo "This machine cannot run 32-bit programs: the packages are built, not" \
		"installed." >&2; fi
