# The two commands of the README:
#   make run    install what is missing, build, start Kavo
#   make test   install what is missing, build, run every test (also in a
#               build with AddressSanitizer and UndefinedBehaviorSanitizer)
BUILD ?= build
ASAN_BUILD ?= build-asan
# The tests' session bus, and every service it starts on its own (portals,
# GVFS), get a home of their own: nothing is written in the real one.
TEST_HOME = home=$$(mktemp -d /tmp/kavo-test-home.XXXXXX) && export HOME=$$home \
	XDG_CONFIG_HOME=$$home/.config XDG_CACHE_HOME=$$home/.cache \
	XDG_DATA_HOME=$$home/.local/share XDG_STATE_HOME=$$home/.local/state &&
# Most tests wait on other programs, not on the processor: three at a time
# on two cores, the X11 tests among them two at a time (tests/CMakeLists.txt).
CTEST_FLAGS ?= --output-on-failure -j3 --resource-spec-file $(CURDIR)/tests/x11/displays.json

.PHONY: run test build package test-build test-asan bench clean

run:
	scripts/bootstrap run
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) --target kavo
	scripts/run-kavo $(BUILD)/kavo

build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVO_WERROR=ON
	cmake --build $(BUILD)

# The Debian package (the tests build it themselves before they install it).
package: build
	cmake --build $(BUILD) --target package

test:
	scripts/bootstrap test
	$(MAKE) --no-print-directory test-build
	$(MAKE) --no-print-directory test-asan

test-build: build
	$(TEST_HOME) dbus-run-session -- ctest --test-dir $(BUILD) $(CTEST_FLAGS)

test-asan:
	# The sanitizer build has every test but a few (tests/e2e/CMakeLists.txt).
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKAVO_SANITIZE=ON \
	    -DKAVO_WERROR=ON -DKAVO_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD)
	$(TEST_HOME) ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	dbus-run-session -- ctest --test-dir $(ASAN_BUILD) $(CTEST_FLAGS)

bench: build
	bench/run-all $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
