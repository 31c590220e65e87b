# Entry points: `make demo` and `make check`. Each installs what is missing, builds and runs.
JOBS ?= $(shell nproc)
CMAKE ?= cmake
CTEST ?= ctest

NATIVE := build
SANITIZED := build/sanitize

.PHONY: all demo check native sanitize check-native check-sanitize packages-native format

all: native

packages-native:
	@tools/ensure-packages native

native: packages-native
	$(CMAKE) -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build $(NATIVE) -j $(JOBS)

sanitize: packages-native
	$(CMAKE) -S . -B $(SANITIZED) -DCMAKE_BUILD_TYPE=Debug -DBRAWLHUE_SANITIZE=ON
	$(CMAKE) --build $(SANITIZED) -j $(JOBS)

check-native: native
	$(CTEST) --test-dir $(NATIVE) --output-on-failure -j $(JOBS)

check-sanitize: sanitize
	$(CTEST) --test-dir $(SANITIZED) --output-on-failure -j $(JOBS)

check: check-native check-sanitize

demo: native
	$(NATIVE)/bin/brawlhue examples/session.log

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')
