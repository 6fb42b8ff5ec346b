# SPDX-License-Identifier: GPL-3.0-or-later
# Two entry points, each of which installs what it needs first:
#   make run   builds Pagemint in Release and starts it
#   make test  builds the test suite under AddressSanitizer and
#              UndefinedBehaviorSanitizer and runs it through ctest
#   make install [PREFIX=/usr/local]  installs the programs and the desktop entry
#   make package  builds the Debian package build/package/pagemint_VERSION_ARCH.deb
JOBS ?= $(shell nproc)
RELEASE := build/release
TEST    := build/test
FUZZ    := build/fuzz
PACKAGE := build/package

PREFIX  ?= /usr/local

.PHONY: deps run build test bench fuzz install package clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAGEMINT_TESTS=OFF >/dev/null
	@cmake --build $(RELEASE) -j $(JOBS)

run: build
	@bash scripts/run.sh $(RELEASE)

test: deps
	@cmake -S . -B $(TEST) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPAGEMINT_SANITIZE=ON -DPAGEMINT_BENCH=OFF >/dev/null
	@cmake --build $(TEST) -j $(JOBS)
	@cd $(TEST) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Installs pagemint, pagemint-cli, the help page, the desktop entry and the
# icon under PREFIX (DESTDIR is honoured, for packaging).
install: build
	@cmake --install $(RELEASE) --prefix $(PREFIX)

# A Release build with Debian's hardening flags (dpkg-buildflags), installed
# under /usr by CPack into a .deb whose library dependencies dpkg-shlibdeps
# fills in; lintian checks it when present.
package: deps
	@cmake -S . -B $(PACKAGE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPAGEMINT_TESTS=OFF \
	  -DPAGEMINT_BENCH=OFF -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" >/dev/null
	@cmake --build $(PACKAGE) -j $(JOBS)
	@cd $(PACKAGE) && cpack -G DEB
	@if command -v lintian >/dev/null; then lintian $(PACKAGE)/pagemint_*.deb; fi

bench: build
	@cmake -S . -B $(RELEASE) -DPAGEMINT_BENCH=ON >/dev/null
	@cmake --build $(RELEASE) -j $(JOBS)

fuzz: deps
	@CXX=clang++ cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGEMINT_SANITIZE=ON \
	  -DPAGEMINT_FUZZ=ON -DPAGEMINT_TESTS=OFF -DPAGEMINT_BENCH=OFF -DPAGEMINT_APP=OFF >/dev/null
	@cmake --build $(FUZZ) -j $(JOBS)

clean:
	rm -rf build
