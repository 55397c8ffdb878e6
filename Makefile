# The project's commands. Each installs what it needs first (tools/setup-machine.sh).
# Where this host cannot execute 32-bit code (or HD_TEST_X64=1), the tests, the
# demo and the benchmarks run on an x86_64 build of the same sources; see tools/host-arch.
MAKEFLAGS += --no-print-directory
BUILD := build

.PHONY: all setup build test demo bench clean

all: build

setup:
	@tools/setup-machine.sh

build: setup
	@tools/build $(BUILD)

test: build
	@HD_HEADLESS=1 tools/with-display tools/run-tests $(BUILD)

demo: build
	@tools/with-display tools/demo $(BUILD)

bench: build
	@HD_HEADLESS=1 tools/with-display tools/bench $(BUILD)

clean:
	rm -rf $(BUILD)
