# Entry points: `make demo` and `make check`. Each installs what is missing, builds and runs.
JOBS ?= $(shell nproc)
CMAKE ?= cmake
CTEST ?= ctest

NATIVE := build
SANITIZED := build/sanitize
WIN32 := build/win32

.PHONY: all demo check native sanitize win32 check-native check-sanitize check-win32 \
	packages-native packages-win32 format

all: native

packages-native:
	@tools/ensure-packages native

native: packages-native
	$(CMAKE) -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build $(NATIVE) -j $(JOBS)

packages-win32:
	@tools/ensure-packages win32

win32: packages-win32
	$(CMAKE) -S . -B $(WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build $(WIN32) -j $(JOBS)

sanitize: packages-native
	$(CMAKE) -S . -B $(SANITIZED) -DCMAKE_BUILD_TYPE=Debug -DBRAWLHUE_SANITIZE=ON
	$(CMAKE) --build $(SANITIZED) -j $(JOBS)

check-native: native
	$(CTEST) --test-dir $(NATIVE) --output-on-failure -j $(JOBS)

check-sanitize: sanitize
	$(CTEST) --test-dir $(SANITIZED) --output-on-failure -j $(JOBS)

# Wine programs run one at a time: parallel Wine start-up is flaky.
check-win32: win32
	$(CTEST) --test-dir $(WIN32) --output-on-failure

check: check-native check-sanitize check-win32

demo: native
	$(NATIVE)/bin/brawlhue examples/session.log

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
