# Ferrolink: top-level commands. See README.md.
BUILD   ?= build
JOBS    ?= 2
X64     := $(BUILD)/x86_64
X86     := $(BUILD)/i686
LINUX   := $(BUILD)/linux
FUZZ    := $(BUILD)/fuzz
FUZZ_SECONDS ?= 300
WORLD   ?= tests/world/sample.json

.PHONY: all setup build run test bench lan fuzz clean

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
# anew when its project file changes: it once lived elsewhere).
$(LINUX)/CMakeCache.txt: lan/helper/CMakeLists.txt
	rm -rf $(LINUX)
	cmake -S lan/helper -B $(LINUX) -DCMAKE_BUILD_TYPE=Release

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
# they are skipped, and the reason is said here.
test: build
	@tests/win32/setup-root $(BUILD)/win32 || \
	  echo "make test: the 32-bit tests will be skipped: $$(cat $(BUILD)/win32/skipped 2>/dev/null || echo 'setup-root gave no reason')"
	cd $(X64) && ctest --output-on-failure --timeout 600

bench: build
	tests/bench/run-bench $(X64)

# Each fuzz target for FUZZ_SECONDS (libFuzzer's figures at the end); what
# one finds is kept in build/fuzz/found/.
fuzz: build
	tests/fuzz/run-fuzz $(FUZZ) $(FUZZ_SECONDS)

# The user's own network, through Samba's client library: never run by a test.
lan: build
	lan/run-lan $(X64)

clean:
	rm -rf $(BUILD)
