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

# Suites of make check that run side by side may build in the same folder: one build at a
# time. $(call LOCKED,FOLDER) COMMAND runs COMMAND holding the folder's lock.
LOCKED = mkdir -p $(1) && flock $(1)/.build-lock

native: packages-native
	@mkdir -p $(NATIVE)
	flock $(NATIVE)/.build-lock sh -c '$(CMAKE) -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo && \
		$(CMAKE) --build $(NATIVE) -j $(JOBS)'

packages-win32:
	@tools/ensure-packages win32

packages-guest:
	@tools/ensure-packages guest

# The product is the 32-bit build. Where this machine runs 32-bit programs
# (tools/runs-32-bit-programs), that build finishes its own type library and its Windows tests
# run here under Wine. Elsewhere the 64-bit build's type_library_finisher finishes it, and its
# tests run in an emulated 32-bit machine (tools/guest), against the brawlhue command built for
# that machine; the 64-bit build's tests still run here, as a guard.
RUNS_32_BIT := tools/runs-32-bit-programs
GUEST := tools/guest/run
GUEST_NATIVE := build/linux-i686
WIN32_OPTIONS = $$(if $(RUNS_32_BIT); then echo -DBRAWLHUE_WINE_TESTS=ON \
	-DBRAWLHUE_NATIVE_BRAWLHUE=$(abspath $(NATIVE)/bin/brawlhue); else echo \
	-DBRAWLHUE_WINE_TESTS=OFF -DBRAWLHUE_NATIVE_BRAWLHUE=$(abspath $(GUEST_NATIVE)/bin/brawlhue) \
	-DBRAWLHUE_TYPE_LIBRARY_FINISHER=$(abspath $(WIN64)/bin/type_library_finisher.exe) \
	-DBRAWLHUE_TYPE_LIBRARY_FINISHER_RUNNER=$(abspath $(WIN64)/wine-run); fi)
# Runs a command where this machine's 32-bit Windows programs run: here, or in the guest.
ON_32_BIT = $$($(RUNS_32_BIT) || echo $(GUEST))
# The Wine tests of build folder $(1), with CTest options $(2), where 32-bit programs run. The
# prefix is made first, so that no test's time limit pays for it.
WINE_TESTS_32 = $(ON_32_BIT) bash -c '$(1)/wine-run cmd /c exit 0 && \
	$(CTEST) --test-dir $(1) --output-on-failure $(2)'

.PHONY: packages-guest packages-win64 win32-configure win32-finisher win32-native-command \
	guest-native win64-configure check-win64 check-win32-here

packages-win64:
	@tools/ensure-packages win64

# RelWithDebInfo's code without its debugging information, which took a third of the compile
# time: the 64-bit build is a guard and the demo's stand-in, never shipped.
win64-configure: packages-win64
	$(call LOCKED,$(WIN64)) $(CMAKE) -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
		-DBRAWLHUE_NATIVE_BRAWLHUE=$(abspath $(NATIVE)/bin/brawlhue)

# Only the tool and its prefix, when the 64-bit build is there for the 32-bit one's sake.
win32-finisher: packages-win32
	@$(RUNS_32_BIT) || { $(MAKE) --no-print-directory win64-configure && \
		$(call LOCKED,$(WIN64)) $(CMAKE) --build $(WIN64) -j $(JOBS) \
			--target type_library_finisher wineprefix; }

# The brawlhue command that the 32-bit tests compare the plug-in with.
win32-native-command:
	@if $(RUNS_32_BIT); then $(MAKE) --no-print-directory native; \
	else $(MAKE) --no-print-directory guest-native; fi

guest-native: packages-guest
	$(call LOCKED,$(GUEST_NATIVE)) $(CMAKE) -S . -B $(GUEST_NATIVE) -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i686.cmake \
		-DBRAWLHUE_COMMAND_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(call LOCKED,$(GUEST_NATIVE)) $(CMAKE) --build $(GUEST_NATIVE) -j $(JOBS) --target brawlhue

win32-configure: packages-win32 win32-finisher
	$(call LOCKED,$(WIN32)) $(CMAKE) -S . -B $(WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo $(WIN32_OPTIONS)

win32: win32-configure win32-native-command
	$(call LOCKED,$(WIN32)) $(CMAKE) --build $(WIN32) -j $(JOBS)
	@$(RUNS_32_BIT) || $(MAKE) --no-print-directory packages-guest

win64: win64-configure native
	$(call LOCKED,$(WIN64)) $(CMAKE) --build $(WIN64) -j $(JOBS)

# The Windows build whose programs run on this machine itself, for the benchmark and the soak:
# $(WIN32), or where no 32-bit program runs, $(WIN64).
wine-build: win32
	@$(RUNS_32_BIT) || { echo "This machine cannot run 32-bit programs: the benchmark and" \
		"the soak run on the 64-bit build of the same sources ($(WIN64))." >&2; \
		$(MAKE) --no-print-directory win64; }
WINE_BUILD = $$($(RUNS_32_BIT) && echo $(WIN32) || echo $(WIN64))

sanitize: packages-native
	$(CMAKE) -S . -B $(SANITIZED) -DCMAKE_BUILD_TYPE=Debug -DBRAWLHUE_SANITIZE=ON
	$(CMAKE) --build $(SANITIZED) -j $(JOBS)

check-native: native
	$(CTEST) --test-dir $(NATIVE) --output-on-failure -j $(JOBS)

check-sanitize: sanitize
	$(CTEST) --test-dir $(SANITIZED) --output-on-failure -j $(JOBS)

# The emulated machine's image (tools/guest/build-image, once per recipe), where the 32-bit
# tests run there: first, since it needs nothing built and keeps one processor busy for
# minutes, beside the other suites' builds.
.PHONY: guest-image
guest-image:
	@$(RUNS_32_BIT) || { $(MAKE) --no-print-directory packages-guest && \
		tools/guest/build-image >/dev/null; }

# Wine programs run one at a time: parallel Wine start-up is flaky.
check-win32: guest-image win32
	@$(RUNS_32_BIT) || $(MAKE) --no-print-directory check-win64
	$(call WINE_TESTS_32,$(WIN32))

check-win64: win64
	$(CTEST) --test-dir $(WIN64) --output-on-failure

# Every suite of make check: CHECK_SUITES in the order they run, then CHECK_32_BIT_SUITES, the
# suites of the 32-bit Windows programs. Where those run in the emulated machine, they run
# beside the others instead, at the same time (tools/check-all --beside): the emulator keeps
# about one processor busy, and one after another the two would take the longest. check-all
# runs each suite's target, goes on past a failure, and ends on the total of their counts: a
# suite's runners print CTest's summary or a line "N passed, N failed". Logs:
# $(NATIVE)/check-logs/SUITE.log.
CHECK_SUITES := check-native check-sanitize check-fuzz check-deb check-mudlet
CHECK_32_BIT_SUITES := check-win32 check-win32-checked distcheck check-mushclient

# packages-native first: it brings the python3 that tools/check-all runs on.
check: packages-native
	+@MAKE="$(MAKE)" tools/check-all --log-dir $(NATIVE)/check-logs $(CHECK_SUITES) \
		$$($(RUNS_32_BIT) --kernel || echo --beside) $(CHECK_32_BIT_SUITES)

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
# Then the Lua engine of the Mudlet package under lua5.1 beside one trigger per table entry,
# Parse through the DLL under Wine against the native engine on the same lines, and
# brawlhue-proxy against a relay of the same code with colouring off.
# Wine's server stays up a minute after its last program (tools/wine-run), and its helper
# processes would share the machine with the timings: it is stopped before each of them.
STOP_WINE = WINEPREFIX=$(CURDIR)/$(WINE_BUILD)/wineprefix wineserver -k 2>/dev/null || true
bench: packages-bench native wine-build
	@$(STOP_WINE)
	$(NATIVE)/bin/brawlhue_bench --benchmark_min_time=0.5
	mkdir -p $(NATIVE)/lua/bench-lines
	$(NATIVE)/bin/brawlhue_lua_test_lines $(NATIVE)/lua/bench-lines 0
	lua5.1 lua/bench/bench_lua_engine.lua $(NATIVE)/lua/brawlhue_engine.lua \
		$(NATIVE)/lua/brawlhue_tables.lua $(NATIVE)/lua/bench-lines/bench-mix.log
	bench/compare-com-path $(NATIVE) $(WINE_BUILD)
	@$(STOP_WINE)
	BRAWLHUE_PROXY=$(NATIVE)/bin/brawlhue-proxy BRAWLHUE_COMMAND=$(NATIVE)/bin/brawlhue \
		BRAWLHUE_SESSION_LOG=examples/session.log PYTHONDONTWRITEBYTECODE=1 \
		python3 proxy/tests/bench_proxy.py

# The sample session as zMUD would show it through Brawlhue.dll: the replay host connects one
# session (the plug-in's banner), then prints each received line as the plug-in left it. Only
# the module and the replay host are built for it. Where this machine runs no 32-bit programs,
# the 64-bit build of the same sources runs under 64-bit Wine, at full speed, and a last line
# says so: the 32-bit module's proof there is make check, in the emulated machine, which the
# demo never waits for. wine32 and its i386 packages are installed only where they can run.
.PHONY: demo-32-bit demo-64-bit
demo:
	@if $(RUNS_32_BIT) --kernel; then $(MAKE) --no-print-directory packages-win32; fi
	@if $(RUNS_32_BIT); then $(MAKE) --no-print-directory demo-32-bit; \
	else $(MAKE) --no-print-directory demo-64-bit; fi

DEMO_SESSION = $(1)/wine-run regsvr32 /s $(1)/bin/Brawlhue.dll && \
	$(1)/wine-run $(1)/bin/brawlhost.exe examples/session.log

demo-32-bit: win32-configure
	$(CMAKE) --build $(WIN32) -j $(JOBS) --target Brawlhue brawlhost
	$(call DEMO_SESSION,$(WIN32))

demo-64-bit: win64-configure
	$(CMAKE) --build $(WIN64) -j $(JOBS) --target Brawlhue brawlhost
	$(call DEMO_SESSION,$(WIN64))
	@echo "make demo: this machine runs no 32-bit programs, so this was the 64-bit build of the" \
		"same sources ($(WIN64)/bin/Brawlhue.dll) under 64-bit Wine; make check proves the" \
		"32-bit $(WIN32)/bin/Brawlhue.dll in an emulated 32-bit machine."

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# ---- Hardening ----
# The module once more, built so that undefined behaviour traps and the standard library checks
# its own preconditions. mingw-w64 ships no sanitizer runtime: the checks trap (ud2) in place
# instead of calling one, and GCC 12 spells that -fsanitize-undefined-trap-on-error. -O1 without
# debug information halves the compile time and keeps assert() on. Only the module's Wine tests
# are built there; they run whole under Wine's heap checks, where the 32-bit tests run. A
# machine that cannot run 32-bit programs also runs those of the 64-bit checked build itself.
WIN32_CHECKED := build/win32-checked
WIN64_CHECKED := build/win64-checked
CHECKED_FLAGS := -fsanitize=undefined -fsanitize-undefined-trap-on-error -D_GLIBCXX_ASSERTIONS
CHECKED_OPTIONS := -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O1 \
	"-DCMAKE_CXX_FLAGS=$(CHECKED_FLAGS)" -DBRAWLHUE_CHECKED_RUN=ON
CHECKED_TARGETS := plugin_tests hardening_tests hardening_soak
SOAK_CALLS ?= 10000000

.PHONY: win32-checked win64-checked check-win32-checked check-win64-checked soak

win32-checked: packages-win32 win32-finisher
	$(call LOCKED,$(WIN32_CHECKED)) $(CMAKE) -S . -B $(WIN32_CHECKED) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		$(CHECKED_OPTIONS) $(WIN32_OPTIONS)
	$(call LOCKED,$(WIN32_CHECKED)) $(CMAKE) --build $(WIN32_CHECKED) -j $(JOBS) --target $(CHECKED_TARGETS) \
		$$($(RUNS_32_BIT) && echo wineprefix)

win64-checked: packages-win32
	$(call LOCKED,$(WIN64_CHECKED)) $(CMAKE) -S . -B $(WIN64_CHECKED) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		$(CHECKED_OPTIONS)
	$(call LOCKED,$(WIN64_CHECKED)) $(CMAKE) --build $(WIN64_CHECKED) -j $(JOBS) --target $(CHECKED_TARGETS) wineprefix

check-win32-checked: win32-checked
	@$(RUNS_32_BIT) || $(MAKE) --no-print-directory check-win64-checked packages-guest
	$(call WINE_TESTS_32,$(WIN32_CHECKED),-L checked)

check-win64-checked: win64-checked
	$(CTEST) --test-dir $(WIN64_CHECKED) -L checked --output-on-failure

# Ten million Parse calls mixed with session events through the registered module, then COM
# unloads it and loads it again; prints the calls, the time and the memory growth.
soak: wine-build
	BRAWLHUE_SOAK_CALLS=$(SOAK_CALLS) $(CTEST) --test-dir $(WINE_BUILD) -R '^hardening_soak$$' \
		--output-on-failure -V

# ---- The Windows release --------------------------------------------------------------------
DIST := dist
VERSION := $(shell sed -n 's/^project.Brawlhue VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
# The Mudlet package, which the native build makes: the Windows packages carry it too.
MPACKAGE := $(NATIVE)/mudlet/Brawlhue-$(VERSION).mpackage

# The palettes' contrast tables in README.md and docs/accessibility.md, measured again; a test
# fails while they differ from what the palettes measure.
.PHONY: contrast-tables palette-pictures
contrast-tables: native
	$(NATIVE)/bin/brawlhue_palette_contrast --write README.md docs/accessibility.md

# The palettes' pictures in docs/palettes/, drawn again: the sample lines in each palette, and as
# each colour-vision deficiency sees them.
palette-pictures:
	@tools/ensure-packages pictures
	$(MAKE) --no-print-directory native
	docs/render-palette-pictures $(NATIVE) docs/palettes

.PHONY: dist distcheck packages-dist packages-distcheck

packages-dist:
	@tools/ensure-packages dist

packages-distcheck:
	@tools/ensure-packages distcheck

# $(DIST)/Brawlhue-VERSION-win32.zip and $(DIST)/Brawlhue-VERSION-setup.exe, VERSION being the
# project's; the zip's colours.png is drawn from the DLL's own output by aha and Chromium.
dist: packages-dist win32 mudlet mushclient
	packaging/make-packages $(WIN32) $(MPACKAGE) $(MUSHCLIENT_PLUGIN) $(DIST)

# The same packages less the picture, installed and uninstalled under Wine in a fresh prefix:
# the setup program, and the zip's install.cmd and uninstall.cmd; 32-bit programs, so where
# the 32-bit tests run.
distcheck: packages-distcheck win32 mudlet mushclient
	packaging/make-packages --no-picture $(WIN32) $(MPACKAGE) $(MUSHCLIENT_PLUGIN) \
		$(WIN32)/distcheck/packages
	$(ON_32_BIT) packaging/check-packages $(WIN32) $(WIN32)/distcheck/packages

# ---- The Linux package ----------------------------------------------------------------------
PREFIX ?= /usr/local

.PHONY: packages-deb deb check-deb install

packages-deb:
	@tools/ensure-packages deb

# $(DIST)/brawlhue_VERSION_ARCH.deb: brawlhue, brawlhue-proxy, their manual pages and the proxy's
# systemd user service, built by debhelper with CMake in build/deb.
deb: packages-native packages-deb
	dpkg-checkbuilddeps
	debian/rules clean
	debian/rules binary

# The package is checked by lintian, unpacked into a scratch root and its programs run there.
check-deb: deb native
	packaging/linux/check-deb $(DIST) $(NATIVE)

# The programs, their pages and the user service under PREFIX (/usr/local by default).
install: native
	$(CMAKE) -S . -B $(NATIVE) -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	$(CMAKE) --install $(NATIVE)

# ---- Mudlet ---------------------------------------------------------------------------------

.PHONY: mudlet check-mudlet

# $(DIST)/Brawlhue-VERSION.mpackage: the Mudlet package, built with the native programs from
# mudlet/src and the Lua engine.
mudlet: native
	mkdir -p $(DIST)
	cp $(MPACKAGE) $(DIST)/

# The package in a real Mudlet 4.18.5, which tools/mudlet/build makes once per machine from
# MUDLET_SOURCES (by default ../shared/mudlet; without them the tests are reported skipped),
# against brawlhue-proxy in the same Mudlet.
check-mudlet: mudlet
	cd mudlet/tests && BRAWLHUE_MUDLET_PACKAGE=$(abspath $(MPACKAGE)) \
		BRAWLHUE_PROXY=$(abspath $(NATIVE))/bin/brawlhue-proxy python3 test_mudlet.py

# ---- MUSHclient -----------------------------------------------------------------------------

.PHONY: mushclient check-mushclient packages-mushclient

# The MUSHclient plugin, which the native build makes from mushclient/ and the Lua engine: the
# Windows packages carry it too.
MUSHCLIENT_PLUGIN := $(NATIVE)/mushclient/Brawlhue-$(VERSION)-mushclient.xml

packages-mushclient:
	@tools/ensure-packages mushclient

# $(DIST)/Brawlhue-VERSION-mushclient.xml, the one file a player adds with File > Plugins.
mushclient: native
	mkdir -p $(DIST)
	cp $(MUSHCLIENT_PLUGIN) $(DIST)/

# The plugin in a real MUSHclient (MUSHCLIENT_INSTALL, by default ../shared/mushclient) against
# brawlhue-proxy.exe in the same MUSHclient, where the 32-bit Windows programs run.
check-mushclient: packages-mushclient native win32-configure
	$(call LOCKED,$(WIN32)) $(CMAKE) --build $(WIN32) -j $(JOBS) --target brawlhue-proxy
	@$(RUNS_32_BIT) || $(MAKE) --no-print-directory packages-guest
	mushclient/tests/check $(NATIVE) $(WIN32)
