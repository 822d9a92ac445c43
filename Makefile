# The two everyday entry points. Both work on a fresh Debian 12 / Ubuntu machine.
#   make demo  - build, then run the program against the built-in simulated instrument
#   make test  - install what is missing, configure, build and run every test
#   make package - build, then the Debian package build/package/ktm520_<version>_<arch>.deb
.PHONY: all bootstrap configure build test demo bench package clean

JOBS ?= $(shell nproc 2>/dev/null || echo 2)

all: build

bootstrap:
	scripts/bootstrap

configure:
	cmake --preset default

build: configure
	cmake --build --preset default -j $(JOBS)

test: bootstrap build
	ctest --preset default -j $(JOBS)

demo: bootstrap build
	scripts/demo

bench: bootstrap build
	scripts/bench

package: bootstrap build
	rm -rf build/package
	cpack --config build/CPackConfig.cmake -B build/package
	@echo "package: $$(ls build/package/ktm520_*.deb)"

clean:
	rm -rf build build-debug build-fuzz
