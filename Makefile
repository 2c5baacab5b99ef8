# Tavelko: `make run` starts the program, `make test` builds and runs every
# test, `make bench` runs the benchmarks. Each installs what it needs first.

BUILD ?= build
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

run: build
	$(BUILD)/tavelko

test: build
	ctest --test-dir $(BUILD) --output-on-failure --timeout 600

bench: configure
	@cmake --build $(BUILD) --target benchmarks

clean:
	rm -rf $(BUILD)
