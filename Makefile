# Set-up and checks. Every target installs what it needs first, so each works on a fresh machine.
BUILD        ?= build
JOBS         ?= $(shell nproc)
CMAKE_FLAGS  ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
CTEST_FLAGS  ?= --output-on-failure -j $(JOBS) --timeout 600
FUZZ_SECONDS ?= 30
# Test labels that `make test` leaves out: none unless asked (CI runs the display tests once,
# under AddressSanitizer).
TEST_EXCLUDE ?=
# A compiler cache where there is one: the benchmark's Release configuration and the product's
# differ in one library only, so the second compiles little more than that. It caches the tests,
# which use a precompiled header, only when told that the header's macros and time stamps are
# not to be checked (they are the same for every test, and nothing uses __DATE__ or __TIME__).
CCACHE       ?= $(shell command -v ccache)
CXX_LAUNCHER := env;CCACHE_SLOPPINESS=pch_defines,time_macros;$(CCACHE)
LAUNCHER     := $(if $(CCACHE),-DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE) '-DCMAKE_CXX_COMPILER_LAUNCHER=$(CXX_LAUNCHER)')
# Ninja where there is one: it compiles a test while the libraries it links are still being built.
# The generator is named on a build folder's first configure only; CMake keeps it after that.
GENERATOR    := $(if $(shell command -v ninja),-G Ninja)
configure     = cmake -S . -B $(1) $(if $(wildcard $(1)/CMakeCache.txt),,$(GENERATOR)) $(2) $(LAUNCHER)

.PHONY: deps check-layers check-names build build-release build-product test test-sanitize test-asan test-tsan fuzz-smoke demo bench clean

deps:
	scripts/install-deps

build: deps
	$(call configure,$(BUILD),$(CMAKE_FLAGS))
	cmake --build $(BUILD) -j $(JOBS)

# Includes point down the layers only; a wrong one stops the run before anything is built.
check-layers: deps
	scripts/check-layers

# Workflow states, UI actions and flags, screen ids and installer statuses by name, never bare.
check-names: deps
	scripts/check-names

test: check-layers check-names build
	cd $(BUILD) && ctest $(CTEST_FLAGS) $(if $(TEST_EXCLUDE),-LE '$(TEST_EXCLUDE)')

test-sanitize: test-asan test-tsan

test-asan: deps
	$(call configure,$(BUILD)-asan,-DCMAKE_BUILD_TYPE=Debug -DWEND_SANITIZE=address)
	cmake --build $(BUILD)-asan -j $(JOBS)
	cd $(BUILD)-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest $(CTEST_FLAGS)

# Only the tests labelled "threads" run here, so only they are built. ThreadSanitizer holds a
# signal back until its thread calls into the C library, which a script looping in JavaScriptCore
# never does: there the engine checks its time limit by polling instead.
test-tsan: deps
	$(call configure,$(BUILD)-tsan,-DCMAKE_BUILD_TYPE=Debug -DWEND_SANITIZE=thread)
	cmake --build $(BUILD)-tsan -j $(JOBS) --target wend-tests-threads
	cd $(BUILD)-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 JSC_usePollingTraps=true \
	  ctest $(CTEST_FLAGS) -L threads

fuzz-smoke: deps
	CC=clang CXX=clang++ $(call configure,$(BUILD)-fuzz,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWEND_FUZZ=ON)
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target wend-fuzz
	scripts/fuzz-smoke $(BUILD)-fuzz $(FUZZ_SECONDS)

demo: build
	scripts/demo $(BUILD)

# The benchmark's Release configuration, built but not run (CI keeps it building): the benchmarks'
# programs and what they link, no tests.
build-release: deps
	$(call configure,$(BUILD)-bench,-DCMAKE_BUILD_TYPE=Release)
	cmake --build $(BUILD)-bench -j $(JOBS) --target wend-bench

# The product's configuration: Release with the WEND_* developer overrides compiled out, so the
# environment of an elevated run cannot redirect it. CI builds what ships, the installer's
# bundle; nothing runs it.
build-product: deps
	$(call configure,$(BUILD)-product,-DCMAKE_BUILD_TYPE=Release -DWEND_DEVELOPER_OVERRIDES=OFF)
	cmake --build $(BUILD)-product -j $(JOBS) --target wend-install

bench: build-release
	scripts/bench $(BUILD)-bench

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-fuzz $(BUILD)-bench $(BUILD)-product
