# Entry points for newcomers and CI. Every target first installs what is
# missing (Debian packages) through tools/install-deps.sh. The build scripts
# run as modules of tools/ from here, the source root, writing no bytecode:
# python3 -B -m tools.<script>.
SHELL := /bin/bash
JOBS ?= 2
FUZZ_SECONDS ?= 60
WIN_ENV := build/windows/wine-env.sh

.PHONY: all deps test test-native test-windows dist msi release fuzz bench demo format clean

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

# The two deliverables, the 32-bit Scanmenu.dll (dist/x86/, for the file
# dialogs of 32-bit programs) and the sparse package (dist/<name>-<version>-sparse.msix,
# its publisher the certificate's subject) in dist/, Authenticode-signed when a
# certificate is given, otherwise plainly reported unsigned. The SIGN_* variables reach
# tools/sign.sh from make's command line or from the environment:
#   make dist SIGN_CERT=cert.pem SIGN_KEY=key.pem [SIGN_TIMESTAMP_URL=...]
#   read -rs SIGN_PASSWORD && export SIGN_PASSWORD && make dist SIGN_PKCS12=signer.p12
# A password comes from the environment only, never from a command line.
dist: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS) --target dist-deliverables
	rm -rf dist && mkdir -p dist/x86
	cp build/windows/bin/scheduler.exe build/windows/bin/Scanmenu.dll dist/
	cp build/windows/x86/bin/Scanmenu.dll dist/x86/
	tools/sign.sh dist/scheduler.exe dist/Scanmenu.dll dist/x86/Scanmenu.dll
	rm -f build/windows/signer.pem
	. build/windows/release.env && msix=dist/$$QC_RELEASE_NAME-$$QC_RELEASE_VERSION-sparse.msix && \
	  publisher=(--publisher-cert build/windows/signer.pem) rc=0 && \
	  { tools/sign.sh --signer-certificate build/windows/signer.pem || rc=$$?; } && \
	  { [ $$rc -eq 0 ] || { [ $$rc -eq 3 ] && publisher=(); }; } && \
	  python3 -B -m tools.make_msix --source build/windows/sparse-package --output $$msix "$${publisher[@]}" && tools/sign.sh $$msix
	@for f in dist/scheduler.exe dist/Scanmenu.dll dist/x86/Scanmenu.dll dist/*-sparse.msix; do \
	  awk -v name=$${f#dist/} -v n=$$(wc -c < $$f) 'BEGIN { printf "%-40s %7d bytes %6.1f KiB\n", name, n, n / 1024 }'; done

# dist/<name>-<version>-x64.msi: the Windows Installer package of the signed
# deliverables and sparse package of dist/ (docs/packagers.md), signed itself,
# as is its custom-action DLL. The registration it writes is harvested under
# Wine; the build's own package (target package) is not built on this path.
msi: dist
	cmake --build --preset windows -j $(JOBS) --target package-inputs
	cp build/windows/bin/PackageActions.dll build/windows/package/PackageActions.dll
	tools/sign.sh build/windows/package/PackageActions.dll
	. build/windows/release.env && rm -rf build/windows/package/release-sparse && mkdir -p build/windows/package/release-sparse && \
	  cp "dist/$$QC_RELEASE_NAME-$$QC_RELEASE_VERSION-sparse.msix" build/windows/package/release-sparse/QuenorCleanMenu.msix
	. build/windows/release.env && python3 -B -m tools.make_msi build --name "$$QC_RELEASE_NAME" --version "$$QC_RELEASE_VERSION" \
	  --binaries dist --sparse build/windows/package/release-sparse --actions build/windows/package/PackageActions.dll \
	  --harvest build/windows/package/registration.json --x86-binaries dist/x86 \
	  --x86-harvest build/windows/package/registration-x86.json --source . --output-dir dist
	. build/windows/release.env && tools/sign.sh "dist/$$QC_RELEASE_NAME-$$QC_RELEASE_VERSION-x64.msi"

# dist/<name>-<version>-windows-x64.zip, named after the CMake project, beside
# the package.
release: msi
	. build/windows/release.env && python3 -B -m tools.make_release --name "$$QC_RELEASE_NAME" \
	  --version "$$QC_RELEASE_VERSION" --binaries dist --source . --output-dir dist

# dist/<name>-<version>-windows-tests.zip: the deliverables and every Windows
# test with run-tests.cmd, for a real Windows machine (docs/developers.md, "The Windows test kit").
.PHONY: test-kit
test-kit: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS) --target test-kit
	. build/windows/release.env && python3 -B -m tools.make_test_kit --name "$$QC_RELEASE_NAME" --version "$$QC_RELEASE_VERSION" \
	  --files build/windows/test-kit/files.txt --source . --output-dir dist

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
	cmake --build --preset windows -j $(JOBS) --target demo package
	tools/wine-prefix.sh create $(WIN_ENV)
	. build/windows/release.env && package=$$(pwd)/build/windows/package/$$QC_RELEASE_NAME-$$QC_RELEASE_VERSION-x64.msi; \
	rc=0; WINE_RUN_TIMEOUT=240 build/windows/wine-run.sh build/windows/bin/demo.exe "Z:$${package//\//\\}" || rc=$$?; \
	  tools/wine-prefix.sh kill $(WIN_ENV); exit $$rc

# Pictures of the context menu, docs/context-menu.png and, in German,
# docs/context-menu-de.png, taken under a virtual X server; it also needs Xvfb
# and ImageMagick, which only this target installs. The item is owner-drawn
# (as before Vista), which Wine draws with the icon's transparency, where it
# paints a menu bitmap on black.
SCREENSHOT_WINDOWS_VERSION ?= winxp64
.PHONY: screenshot
screenshot:
	@tools/install-deps.sh screenshot
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS) --target context_menu_picture
	SCREENSHOT_WINDOWS_VERSION=$(SCREENSHOT_WINDOWS_VERSION) tools/screenshot/take-screenshot.sh build/windows docs/context-menu.png
	SCREENSHOT_WINDOWS_VERSION=$(SCREENSHOT_WINDOWS_VERSION) SCREENSHOT_LANG=de_DE \
	  tools/screenshot/take-screenshot.sh build/windows docs/context-menu-de.png

# Applies .clang-format to every C++ source; `make test` fails on a file that
# does not follow it.
format: deps
	tools/format.sh

clean:
	rm -rf build dist
