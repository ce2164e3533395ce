# Ferrolink: top-level commands. See README.md.
BUILD   ?= build
JOBS    ?= 2
X64     := $(BUILD)/x86_64
X86     := $(BUILD)/i686
LINUX   := $(BUILD)/linux
FUZZ    := $(BUILD)/fuzz
FUZZ_SECONDS ?= 300
WORLD   ?= tests/world/sample.json

.PHONY: all setup build run test bench lan deb dist fuzz clean

all: build

setup:
	@tools/setup.sh

# A changed toolchain file needs a build tree of its own.
$(X64)/CMakeCache.txt: cmake/mingw-x86_64.cmake
	rm -rf $(X64)
	cmake -S . -B $(X64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DFERROLINK_I686_DIR=$(abspath $(X86)) \
	  -DFERROLINK_LINUX_DIR=$(abspath $(LINUX))

$(X86)/CMakeCache.txt: cmake/mingw-i686.cmake
	rm -rf $(X86)
	cmake -S . -B $(X86) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DFERROLINK_E2E_ONLY=ON

# The real network's helper runs on Linux: a native build of its own (made
# anew when its project file changes: it once lived elsewhere), with the
# hardening Debian builds its packages with, as it goes into ours.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
$(LINUX)/CMakeCache.txt: lan/helper/CMakeLists.txt Makefile
	rm -rf $(LINUX)
	cmake -S lan/helper -B $(LINUX) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" -DCMAKE_SHARED_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)"

# The fuzz targets of our own readers (tests/fuzz), with clang's libFuzzer.
$(FUZZ)/CMakeCache.txt:
	cmake -S tests/fuzz -B $(FUZZ) -DCMAKE_CXX_COMPILER=clang++-14

build: setup $(X64)/CMakeCache.txt $(X86)/CMakeCache.txt $(LINUX)/CMakeCache.txt $(FUZZ)/CMakeCache.txt
	cmake --build $(X86) -j$(JOBS)
	cmake --build $(X64) -j$(JOBS)
	cmake --build $(LINUX) -j$(JOBS)
	cmake --build $(FUZZ) -j$(JOBS)

run: build
	tests/world/run-in-world --build $(X64) $(WORLD) -- tools/show.sh $(X64) $(abspath $(BUILD))/screenshot.png

# The 32-bit tests' private root (tests/win32); where it cannot be made
# they are skipped, and the reason is said here. The tests check the
# package and the zip too. The last line says what was skipped and why.
test: build deb dist
	@tests/win32/setup-root $(BUILD)/win32 || \
	  echo "make test: the 32-bit tests will be skipped: $$(cat $(BUILD)/win32/skipped 2>/dev/null || echo 'setup-root gave no reason')"
	@cd $(X64) && status=0 && { ctest --output-on-failure --timeout 600 -O Testing/ctest-output.txt || status=$$?; } && \
	  $(CURDIR)/tools/test-summary . Testing/ctest-output.txt && exit $$status

bench: build
	tests/bench/run-bench $(X64)

# Each fuzz target for FUZZ_SECONDS (libFuzzer's figures at the end); what
# one finds is kept in build/fuzz/found/.
fuzz: build
	tests/fuzz/run-fuzz $(FUZZ) $(FUZZ_SECONDS)

# The user's own network, through Samba's client library: never run by a
# test. The launcher the package installs, from the same layout in the build.
lan: build
	packaging/stage $(BUILD) $(BUILD)/lan-root
	$(BUILD)/lan-root/usr/bin/ferrolink

# The Debian package, $(BUILD)/ferrolink_VERSION_amd64.deb.
deb: build
	packaging/build-deb $(BUILD)

# The download for Windows, $(BUILD)/ferrolink-VERSION-win32.zip.
dist: build
	packaging/make-dist $(BUILD)

clean:
	rm -rf $(BUILD)
