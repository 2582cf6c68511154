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
        service package clean windows-sdk

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

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
