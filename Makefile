# Everything a fresh Debian 12 machine needs: `make test` installs what is missing, builds and tests.
PACKAGES := cmake ninja-build g++ clang libclang-rt-14-dev clang-format \
            libicu-dev liburiparser-dev libfast-float-dev libgtest-dev libgmock-dev libbenchmark-dev \
            qt6-base-dev qt6-svg-dev libudev-dev xvfb xauth x11-utils doxygen

BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps build run test test-sanitize test-tsan fuzz bench package docs format clean

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Starts the application; ARGS go to it (e.g. ARGS="--demo" or ARGS="places.csv").
run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are unset); run it in a desktop session, or under: xvfb-run -a make run"; \
	  exit 1; \
	fi
	$(BUILD)/app/tamrik-seatloom $(ARGS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
	  -DTAMRIK_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# The model's tests, the window's opening, exporting and merging tests and the library's reading ahead again
# under ThreadSanitizer: files open, export and merge on a thread of their own, and large files are read on
# another. (The sanitizer cannot follow how Qt starts a process, so the tests that run one stay out.)
test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
	  -DTAMRIK_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS) --target tamrikcsv_tests tamrik_model_tests tamrik_app_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" build-tsan/tests/tamrikcsv_tests --gtest_filter='ReadAhead.*'
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" build-tsan/tests/tamrik_model_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" QT_QPA_PLATFORM=offscreen build-tsan/tests/tamrik_app_tests \
	  --gtest_filter='Opening.*:Exporting.*:Merging.*'

# The fuzz targets, for FUZZ_SECONDS seconds each; new inputs go to build-fuzz/corpus/<name>.
fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DTAMRIK_BUILD_FUZZ=ON -DTAMRIK_BUILD_TESTS=OFF -DTAMRIK_SANITIZE=address,undefined
	cmake --build build-fuzz -j $(JOBS) --target fuzz_reader fuzz_writer fuzz_decoder fuzz_encoder
	for name in reader writer decoder encoder; do \
	  mkdir -p build-fuzz/corpus/$$name && \
	  build-fuzz/fuzz/fuzz_$$name -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=10 \
	    -print_final_stats=1 -artifact_prefix=build-fuzz/ build-fuzz/corpus/$$name fuzz/corpus/$$name || exit 1; \
	done

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMRIK_BUILD_BENCH=ON -DTAMRIK_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	build-bench/bench/bench_reader
	build-bench/bench/bench_writer
	build-bench/bench/bench_decoder
	build-bench/bench/bench_encoder
	build-bench/bench/bench_model
	build-bench/bench/bench_counts
	build-bench/bench/bench_search
	build-bench/bench/bench_merge

# A Debian package of the application in $(BUILD)/package.
package: build
	cd $(BUILD) && cpack -B package

# The library's API reference in build-docs/html; an undocumented public declaration fails it.
docs: deps
	rm -rf build-docs && DOCS_OUTPUT=build-docs doxygen docs/Doxyfile

format:
	git ls-files '*.cpp' '*.hpp' | xargs clang-format -i

clean:
	rm -rf build build-asan build-tsan build-fuzz build-bench build-docs
