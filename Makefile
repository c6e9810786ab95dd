# make demo   run the uninstaller under Wine against a simulated agent installation
# make test   build and run every test under Wine
BUILD ?= build
BENCH := tools/wine-bench.sh
CMAKE_FLAGS ?=

.PHONY: all setup configure build test demo bench stop clean

all: build

setup:
	@bash tools/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_FLAGS)

configure: setup $(BUILD)/build.ninja

build: configure
	ninja -C $(BUILD)

# The Wine sessions are started here, detached, before ctest: a session whose
# first process ctest starts keeps ctest's pipes open and hangs it.
test: build
	@$(BENCH) $(BUILD)/wine ensure win64
	@$(BENCH) $(BUILD)/wine ensure win32
	cd $(BUILD) && ctest -j2 --output-on-failure $(CTEST_ARGS)

demo: build
	@bash tools/demo.sh $(BUILD)

bench: build
	@bash tools/run-benchmarks.sh $(BUILD)

# Every bench this tree starts: the shared one, the prefixes of their own, the demo's.
stop:
	@for r in wine wine-win10 wine-aside demo-wine; do [ ! -d $(BUILD)/$$r ] || $(BENCH) $(BUILD)/$$r stop; done

clean: stop
	rm -rf $(BUILD)
