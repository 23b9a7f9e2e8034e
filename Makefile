# Cribwatch: build with MinGW-w64, run and test under Wine.
#   make run    install what is missing, build, start Cribwatch under Wine
#   make test   install what is missing, build, run every test
#   make dist   the installer and the portable zip in build/dist
#   make fuzz   run each fuzz target long (FUZZ_RUNS runs, or FUZZ_SECONDS)
#   make soak   half an hour of a generated night against the alarm model
SHELL := /bin/bash
BUILD ?= build
JOBS ?= 2
ABS_BUILD := $(abspath $(BUILD))

.PHONY: all deps i686 x86_64 native build run screenshot test bench fuzz soak clean dist

all: build

deps:
	@bash scripts/install-deps.sh

i686: deps
	@cmake -S . -B $(BUILD)/i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(BUILD)/i686 -j$(JOBS)

x86_64: deps
	@cmake -S . -B $(BUILD)/x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-mingw.cmake \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
	@cmake --build $(BUILD)/x86_64 -j$(JOBS)

native: deps
	@cmake -S . -B $(BUILD)/native -DCRIB_SANITIZE=ON \
	    -DCRIB_I686_BUILD=$(ABS_BUILD)/i686 -DCRIB_X64_BUILD=$(ABS_BUILD)/x86_64 > /dev/null
	@cmake --build $(BUILD)/native -j$(JOBS)

build: i686 x86_64 native

# The 32-bit program where the host runs 32-bit code, else the 64-bit one.
RUN_ARCH = arch=$$(bash scripts/wine-env.sh run-arch $(ABS_BUILD)) && $(MAKE) --no-print-directory $$arch

run: deps
	@$(RUN_ARCH) && bash scripts/run.sh $(ABS_BUILD)/$$arch/Cribwatch.exe

screenshot: deps
	@$(RUN_ARCH) && bash scripts/run.sh --screenshot $(ABS_BUILD)/screenshot.png $(ABS_BUILD)/$$arch/Cribwatch.exe

# The release: the 32-bit program with its help files, as installer and zip.
dist: i686
	@cmake -S . -B $(BUILD)/i686 -DCRIB_DIST_DIR=$(ABS_BUILD)/dist > /dev/null
	@cmake --build $(BUILD)/i686 --target dist

test: build dist
	@bash scripts/run-tests.sh $(ABS_BUILD)/native

bench: deps
	@$(RUN_ARCH) && bash bench/run-bench.sh $(ABS_BUILD)/$$arch $(BENCH_ARGS)

# The fuzz targets are built with the native build; what they find new is
# kept in $(BUILD)/fuzz-corpus for the next run.
FUZZ_RUNS ?= 1000000
FUZZ_SECONDS ?=
fuzz: native
	@bash scripts/fuzz.sh $(if $(FUZZ_SECONDS),--seconds $(FUZZ_SECONDS),--runs $(FUZZ_RUNS)) \
	    --corpus $(ABS_BUILD)/fuzz-corpus $(ABS_BUILD)/native/fuzz

# The compressed night (not part of test): SOAK_MINUTES, SOAK_SEED, SOAK_PEERS.
soak: deps
	@$(RUN_ARCH) && bash bench/run-soak.sh $(ABS_BUILD)/$$arch

clean:
	rm -rf $(BUILD)
