# Front door: `make run` builds and starts the program, `make test` builds and runs every test
# (a normal build, then a second one with AddressSanitizer and UBSan, the threaded tests (sound
# mixer, animation window, logo splash) under ThreadSanitizer, then the fuzzers).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps configure build run setup test test-release test-asan test-tsan test-fuzz clean format

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARK_WERROR=ON

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTESSARK_SANITIZE=ON -DTESSARK_WERROR=ON

configure: $(BUILD)/build.ninja

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target tessark
	$(BUILD)/bin/tessark

# The installer, onto this user's desktop machine and emulated palm-size PC (made and plugged
# in when needed; `cedevice stop` unplugs it).
setup: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target TessarkSetup cedevice tessark-programs rundll32
	@$(BUILD)/bin/cedevice status >/dev/null 2>&1 || \
	    { [ -f "$${TESSARK_DEVICE:-$${XDG_DATA_HOME:-$$HOME/.local/share}/tessark/device}/device.ini" ] || \
	      $(BUILD)/bin/cedevice create; $(BUILD)/bin/cedevice start; }
	$(BUILD)/bin/TessarkSetup

test-release: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The threaded tests under ThreadSanitizer: the mixer, the logo's loader, the computer's search
# and the hint against the window thread.
test-tsan: deps
	JOBS=$(JOBS) scripts/tsan

# The image loader for FUZZ_SECONDS, then the game's stored values and the setup program's
# ZIP, skin settings and markup readers for FUZZ_SHORT_SECONDS each, under libFuzzer (clang,
# AddressSanitizer, UBSan).
FUZZ_SECONDS ?= 60
FUZZ_SHORT_SECONDS ?= 20
test-fuzz: deps
	scripts/fuzz $(FUZZ_SECONDS) image
	scripts/fuzz $(FUZZ_SHORT_SECONDS) stored zip skintext markup

test: test-release test-asan test-tsan test-fuzz

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-tsan build-fuzz
