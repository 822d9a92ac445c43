# The two everyday entry points. Both work on a fresh Debian 12 / Ubuntu machine.
#   make demo  - build, then run the program against the built-in simulated instrument
#   make test  - install what is missing, configure, build and run every test
#   make package - build, then the Debian package build/package/ktm520_<version>_<arch>.deb
#   make windows - the Windows programs, their folder and installer, cross-built in build-windows/
.PHONY: all bootstrap configure build test demo bench package windows clean

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

# The libraries come from scripts/windows-deps' cache (built on first use, then reused).
CCACHE := $(shell command -v ccache 2>/dev/null)
windows: bootstrap
	deps="$$(scripts/windows-deps | tail -n 1)" && \
	KTM_WINDOWS_DEPS="$$deps" cmake --preset windows-cross \
	  $(if $(CCACHE),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) && \
	cmake --build --preset windows-cross -j $(JOBS)
	@echo "windows: build-windows/deploy/ktm520 ($$(wc -l < build-windows/deploy/deployed-files.txt) files)," \
	      "installer $$(ls build-windows/ktm520-*-setup.exe)"

clean:
	rm -rf build build-debug build-fuzz build-windows
