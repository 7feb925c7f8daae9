# VOK Setup: one-command set-up, build, run, test and benchmark on Debian 12.

BUILD_DIR  ?= build
BUILD_TYPE ?= Release
JOBS       ?= $(shell nproc)

DEBIAN_PACKAGES := build-essential cmake pkg-config ccache g++ clang libclang-rt-14-dev \
    juce-modules-source juce-tools \
    libx11-dev libxrandr-dev libxinerama-dev libxcursor-dev libxext-dev libxcomposite-dev \
    libfreetype-dev libfontconfig1-dev libjpeg-dev libpng-dev libflac-dev libvorbis-dev \
    libogg-dev zlib1g-dev libexpat1-dev libgtest-dev libgmock-dev libbenchmark-dev \
    xvfb xauth xdotool x11-utils imagemagick libjpeg-turbo-progs python3 \
    hyperfine time util-linux dpkg-dev file desktop-file-utils locales strace \
    help2man man-db bsdextrautils bash-completion libfftw3-dev

# The format library's reference (make docs).
DEBIAN_PACKAGES += doxygen

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Only the Windows targets install these (make test never brings Wine in).
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
    binutils-mingw-w64-x86-64 libz-mingw-w64-dev dpkg-dev wine64 wine

.PHONY: all deps configure build run test bench pack-report fuzz fuzz-build fuzz-check clean package module-graph docs

all: build

# Installs only what is missing, so a second run costs one dpkg query.
deps:
	@missing=$$(dpkg-query -W -f='$${Package} $${db:Status-Status}\n' $(DEBIAN_PACKAGES) 2>/dev/null \
	    | awk '$$2 == "installed" { print $$1 }' | sort > .installed-packages; \
	    for p in $(DEBIAN_PACKAGES); do grep -qx "$$p" .installed-packages || echo $$p; done); \
	rm -f .installed-packages; \
	if [ -n "$$missing" ]; then \
	    echo "Installing missing Debian packages:" $$missing; \
	    $(SUDO) apt-get update && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) > /dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ]; then \
	    echo "VOK Setup needs a display, and DISPLAY is not set."; \
	    echo "Run it from a desktop session, or start a virtual one:"; \
	    echo "    Xvfb :99 -screen 0 1280x1024x24 &  DISPLAY=:99 make run"; \
	    exit 1; \
	fi
	"$(BUILD_DIR)/app/VOK Setup"

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory fuzz-check

# The pack's rooms measured: pack-report.md (every measure against its target) and one PNG
# sheet per room, in $(BUILD_DIR)/pack-report.
pack-report: build
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target vok_pack_report
	@$(BUILD_DIR)/pack/vok_pack_report pack/rooms.json $(BUILD_DIR)/pack/impulses $(BUILD_DIR)/pack-report

# The readers' fuzzers are a clang project of their own (sanitizers, libFuzzer).
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS   ?= 600
FUZZ_CHECK_SECONDS := 50

fuzz-build: deps
	@cmake -S fuzz -B $(FUZZ_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 > /dev/null
	@cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS) --target fuzz_impulse_file fuzz_plugin_settings fuzz_audio_import

# The seed corpus plus a short bounded run, as part of `make test`.
fuzz-check: fuzz-build
	@fuzz/run-fuzzer.sh $(FUZZ_BUILD_DIR) $(FUZZ_CHECK_SECONDS)

# A long run: make fuzz FUZZ_SECONDS=3600 (FUZZ_TARGET=fuzz_audio_import for one target alone)
fuzz: fuzz-build
	@fuzz/run-fuzzer.sh $(FUZZ_BUILD_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGET)

# The picture of the modules in README: CMake's graph of the targets (CMakeGraphVizOptions.cmake
# says which), without its legend, drawn by Graphviz into docs/modules.svg.
module-graph:
	@$(MAKE) --no-print-directory deps DEBIAN_PACKAGES="graphviz"
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) --graphviz=$(BUILD_DIR)/graphviz/modules.dot > /dev/null
	@awk '/subgraph clusterLegend/ { skip = 1 } !skip { print } skip && /^}$$/ { skip = 0 }' \
	    $(BUILD_DIR)/graphviz/modules.dot | dot -Tsvg -o docs/modules.svg

# The Debian package, in $(BUILD_DIR): vok-setup_<version>_<architecture>.deb
package: build
	@cd $(BUILD_DIR) && cpack -G DEB

# The format library's reference, from its public headers' comments, in $(BUILD_DIR)/docs/html;
# it fails on a public function without one.
docs: configure
	@cmake --build $(BUILD_DIR) --target docs

bench: build
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target benchmarks
	@bench/run-all.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)

# Windows x86_64 (MinGW-w64), in build-windows/: see windows/build.sh.
.PHONY: windows-deps windows test-windows

windows-deps: deps
	@$(MAKE) --no-print-directory deps DEBIAN_PACKAGES="$(WINDOWS_PACKAGES)"

windows: windows-deps
	@JOBS=$(JOBS) windows/build.sh vok vok_setup

# The Windows build's tests under Wine, CTest's cross-compiling emulator (tests/windows).
test-windows: windows
	@JOBS=$(JOBS) windows/build.sh vok_windows_tests
	@cd build-windows && ctest --output-on-failure -j $(JOBS)
