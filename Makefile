BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 300
PROGRAM := $(BUILD_DIR)/window/hix

.PHONY: all setup configure build run test stress bench package sanitize fuzz screenshot format clean

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
		-DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null

build: configure
	@cmake --build $(BUILD_DIR)

run: configure
	@cmake --build $(BUILD_DIR) --target hix
	@bash scripts/run.sh $(PROGRAM)

test: build
	@ctest --test-dir $(BUILD_DIR) --output-on-failure
	@bash scripts/fuzz.sh build-fuzz 10

# The fuzzers for minutes each rather than seconds.
fuzz: setup
	@bash scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

# The long forms of the tests that run copies of the program against each other or kill them.
stress: build
	@HIX_SHARED_OPENS=500 $(BUILD_DIR)/tests/list/sharedlist_tests
	@HIX_STRESS_KILLS=1000 $(BUILD_DIR)/tests/list/crashstress_tests

bench: build
	@bash bench/run.sh $(BUILD_DIR)

# The tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: setup
	@bash scripts/sanitize.sh build-sanitize

package: setup
	@bash scripts/package.sh build-package

screenshot: build
	@bash scripts/screenshot.sh $(PROGRAM) docs/screenshot.png

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR) build-package build-sanitize build-fuzz
