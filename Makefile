# Tavelko: `make run` starts the program, `make test` builds and runs every
# test. Each target installs what it needs first.
#   make run            build and start the program
#   make test           build, run every test, build and check the Linux package
#   make bench          the benchmarks, the Windows start-up under Wine included
#   make package        dist/tavelko_<version>_<arch>.deb
#   make windows        dist/Tavelko-<version>-setup.exe and -win64.zip
#   make test-windows   the Windows build under Wine: unit tests and a day at the till
#   make test-installer the Windows installer under Wine around a stand-in program

BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps test-deps configure build run test test-package package bench \
        windows test-windows test-installer bench-windows clean

all: build

deps:
	@bash scripts/install-deps.sh

test-deps:
	@bash scripts/install-deps.sh test package

configure:
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: deps configure
	@cmake --build $(BUILD) --parallel $(JOBS) --target tavelko

run: build
	$(BUILD)/tavelko

test: test-deps configure
	@cmake --build $(BUILD) --parallel $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure --timeout 600
	@$(MAKE) --no-print-directory test-package

package: deps configure
	@cmake --build $(BUILD) --parallel $(JOBS) --target tavelko
	@cd $(BUILD) && cpack -G DEB >/dev/null
	@ls dist/*.deb

test-package: test-deps package
	bash tests/package/install_and_start.sh

bench: test-deps configure
	@cmake --build $(BUILD) --parallel $(JOBS) --target benchmarks
	@$(MAKE) --no-print-directory bench-windows

windows:
	@bash scripts/windows.sh package

test-windows:
	@bash scripts/windows.sh test

test-installer:
	@bash scripts/install-deps.sh windows
	bash tests/windows/installer.sh

bench-windows:
	@bash scripts/windows.sh bench

clean:
	rm -rf $(BUILD) build-windows dist
