# The project's commands. Each installs what it needs first (tools/setup-machine.sh).
MAKEFLAGS += --no-print-directory
BUILD := build
CMAKE_ARGS := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel

.PHONY: all setup build test demo bench clean

all: build

setup:
	@tools/setup-machine.sh

build: setup
	@cmake -S . -B $(BUILD) $(CMAKE_ARGS) -Wno-dev >/dev/null
	@cmake --build $(BUILD) -j 2

test: build
	@HD_HEADLESS=1 tools/with-display tools/run-tests $(BUILD)

demo: build
	@tools/with-display tools/demo $(BUILD)

bench: build
	@HD_HEADLESS=1 tools/with-display tools/bench $(BUILD)

clean:
	rm -rf $(BUILD)
