# Entry points for newcomers and CI. Every target first installs what is
# missing (Debian packages) through tools/install-deps.sh.
SHELL := /bin/bash
JOBS ?= 2
FUZZ_SECONDS ?= 60
WIN_ENV := build/windows/wine-env.sh

.PHONY: all deps test test-native test-windows dist fuzz bench demo clean

all: test

deps:
	@tools/install-deps.sh

test: deps
	@$(MAKE) --no-print-directory test-native
	@$(MAKE) --no-print-directory test-windows

test-native:
	cmake --preset native >/dev/null
	cmake --build --preset native -j $(JOBS)
	ctest --preset native

test-windows:
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)
	rc=0; ctest --preset windows || rc=$$?; \
	  tools/wine-prefix.sh kill $(WIN_ENV); exit $$rc

dist: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS) --target dist-deliverables
	rm -rf dist && mkdir -p dist
	for f in build/windows/bin/scheduler.exe build/windows/bin/Scanmenu.dll; do \
	  if [ -f $$f ]; then cp $$f dist/; fi; done
	@for f in dist/*; do \
	  awk -v name=$$(basename $$f) -v n=$$(wc -c < $$f) 'BEGIN { printf "%-14s %7d bytes %6.1f KiB\n", name, n, n / 1024 }'; done

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --preset fuzz

bench: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)
	tools/run-benchmarks.sh build/windows

# The real binaries under long use, under Wine: SOAK_TURNS service and agent
# turns, 100 requests of 10,000 items, 500 register/unregister cycles.
SOAK_TURNS ?= 200
.PHONY: soak
soak: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS) --target soak
	tools/wine-prefix.sh create $(WIN_ENV)
	rc=0; WINE_RUN_TIMEOUT=$$(( $(SOAK_TURNS) * 40 + 1800 )) build/windows/wine-run.sh build/windows/bin/soak.exe $(SOAK_TURNS) \
	  || rc=$$?; tools/wine-prefix.sh kill $(WIN_ENV); exit $$rc

demo: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS) --target demo
	tools/wine-prefix.sh create $(WIN_ENV)
	rc=0; WINE_RUN_TIMEOUT=240 build/windows/wine-run.sh build/windows/bin/demo.exe || rc=$$?; \
	  tools/wine-prefix.sh kill $(WIN_ENV); exit $$rc

clean:
	rm -rf build dist
