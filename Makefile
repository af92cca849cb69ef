BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 300
PROGRAM := $(BUILD_DIR)/main/hix
CMAKE_OPTIONS := -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DCMAKE_COMPILE_WARNING_AS_ERROR=ON

# Under sudo, everything but installing packages runs as the user who called sudo, so the checkout
# never holds files that user cannot rewrite.
AS_USER := $(if $(SUDO_UID),setpriv --reuid=$(SUDO_UID) --regid=$(SUDO_GID) --init-groups \
	env HOME=$(shell getent passwd $(SUDO_UID) | cut -d: -f6),)

.PHONY: all setup setup-run configure build run test stress bench package sanitize fuzz screenshot \
	format clean

all: build

setup:
	@bash scripts/setup.sh test

setup-run:
	@bash scripts/setup.sh run

configure: setup
	@$(AS_USER) cmake -S . -B $(BUILD_DIR) $(CMAKE_OPTIONS) -DBUILD_TESTING=ON >/dev/null

build: configure
	@$(AS_USER) cmake --build $(BUILD_DIR)

# Only what the program needs: a first build leaves the tests and benchmarks out.
run: setup-run
	@$(AS_USER) cmake -S . -B $(BUILD_DIR) $(CMAKE_OPTIONS) \
		$(if $(wildcard $(BUILD_DIR)/CMakeCache.txt),,-DBUILD_TESTING=OFF) >/dev/null
	@$(AS_USER) cmake --build $(BUILD_DIR) --target hix
	@$(AS_USER) bash scripts/run.sh $(PROGRAM) || [ $$? -eq 3 ]

test: build
	@$(AS_USER) ctest --test-dir $(BUILD_DIR) --output-on-failure
	@bash scripts/skipped.sh $(BUILD_DIR)
	@$(AS_USER) bash scripts/fuzz.sh build-fuzz 10

# The fuzzers for minutes each rather than seconds.
fuzz: setup
	@$(AS_USER) bash scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

# The long forms of the tests that run copies of the program against each other, kill them, swap
# the way to the settings under their saves, or cut the power under them. The power cuts run as
# whoever called make, since mounting their file system takes root (or a /dev/fuse open to the
# user); where it cannot be mounted they say why and are skipped (exit 77).
stress: build
	@HIX_SHARED_OPENS=500 $(AS_USER) $(BUILD_DIR)/tests/settings/sharedlist_tests
	@HIX_STRESS_KILLS=1000 $(AS_USER) $(BUILD_DIR)/tests/settings/crashstress_tests
	@HIX_SWAPPED_SAVES=5000 $(AS_USER) $(BUILD_DIR)/tests/settings/privacy_tests \
		aWaySwappedWhileSavingRedirectsNothing
	@$(BUILD_DIR)/tests/powercut/powercut_driver $(BUILD_DIR)/tests/powercut/powercutfs 200 \
		|| [ $$? -eq 77 ]

bench: build
	@$(AS_USER) bash bench/run.sh $(BUILD_DIR) >docs/measurements.md.new
	@mv docs/measurements.md.new docs/measurements.md && echo "Wrote docs/measurements.md"

# The tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: setup
	@$(AS_USER) bash scripts/sanitize.sh build-sanitize

package: setup
	@$(AS_USER) bash scripts/package.sh build-package

screenshot: build
	@$(AS_USER) bash scripts/screenshot.sh $(PROGRAM) docs/screenshot.png
	@$(AS_USER) bash scripts/screenshot.sh $(PROGRAM) docs/screenshot-large-font.png 16
	@$(AS_USER) bash scripts/screenshot.sh $(PROGRAM) docs/screenshot-small-screen.png 20 1366x768 20
	@$(AS_USER) bash scripts/screenshot.sh $(PROGRAM) docs/screenshot-arabic.png "" "" 4 ar

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD_DIR) build-package build-sanitize build-fuzz
