# Entry points of the README. Each target installs what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
# WERROR=ON turns warnings into errors; make test sets it, and make test-asan always builds
# that way, as CI runs them. Left unset,
# the build folder keeps what it was configured with.
WERROR     ?=
WERROR_ARG  = $(if $(WERROR),-DBRINDLEAF_WERROR=$(WERROR))

.PHONY: deps configure build run test test-asan check-format format bench bench-startup bench-service \
        service package clean windows-sdk windows-configure windows test-windows

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR_ARG)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/brindleaf

test: check-format
	$(MAKE) build WERROR=ON
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600
	$(MAKE) test-asan

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DBRINDLEAF_SANITIZE=ON -DBRINDLEAF_WERROR=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900 -LE no-sanitizer

check-format: deps
	scripts/check-format

format: deps
	scripts/check-format --fix

bench: build
	bench/run $(BUILD)/bin

bench-startup: build
	bench/startup/run $(BUILD)

bench-service: configure
	cmake --build $(BUILD) -j $(JOBS) --target brindleaf-service bench-service-load
	bench/service/run $(BUILD)

# The maker's web service on one port for HTTPS and HTTP; see the README.
SERVICE_PORT ?= 8443
SERVICE_DB   ?= $(HOME)/.local/share/brindleaf-service/service.db
SERVICE_ARGS ?=

service: configure
	cmake --build $(BUILD) -j $(JOBS) --target brindleaf-service
	$(BUILD)/bin/brindleaf-service --port $(SERVICE_PORT) --db $(SERVICE_DB) $(SERVICE_ARGS)

package: build
	cd $(BUILD) && cpack -G DEB

# The Windows SDK (Qt and the libraries cross-built for 64-bit Windows), kept in a cache
# outside the clone; see the README's Windows section.
windows-sdk:
	scripts/build-windows-sdk

# The programs cross-built for 64-bit Windows with that SDK (built first when missing); the
# portable zip and the installer land in $(WINDOWS_BUILD)/dist. Optimised as the Linux build
# (-O2; at -O3 the cross compiler warns falsely inside libstdc++); the zip's copies are stripped.
WINDOWS_BUILD ?= build-windows

windows-configure:
	scripts/install-windows-deps
	sdk=$$(scripts/build-windows-sdk | tail -n 1) && \
	cmake -S . -B $(WINDOWS_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DBRINDLEAF_WINSDK=$$sdk \
		-DBRINDLEAF_WERROR=ON

windows: windows-configure
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target windows-dist

# The core, window and command-line tests and the end-to-end check of the real programs,
# all under Wine in a throwaway prefix.
# The Linux build's service and brindleaf-combine take part: the one answers the update
# check, the other's output is what the Windows build must match byte for byte.
test-windows: windows configure
	cmake --build $(BUILD) -j $(JOBS) --target brindleaf-service brindleaf-combine
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	scripts/test-windows $(WINDOWS_BUILD) $(BUILD)/bin

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WINDOWS_BUILD)
