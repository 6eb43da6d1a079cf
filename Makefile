# The two commands of a fresh machine: `make run` and `make test`. Everything else is a helper.
BUILD_DIR   ?= build
BUILD_TYPE  ?= RelWithDebInfo
CMAKE_FLAGS ?=
CTEST_FLAGS ?=
JOBS        ?= $(shell nproc)

.PHONY: deps configure build test run demo test-asan test-tsan fuzz-smoke ci format format-check

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) $(CTEST_FLAGS)

run: build
	@echo "olvex-student: the login window asks for a teacher ID, a seat number and a name; the agent then"
	@echo "waits for a teacher's console (none on this network: nothing more happens, as expected)."
	@echo "To see a whole class played on this machine, run: make demo"
	$(BUILD_DIR)/app/olvex-student

# A scripted class on loopback (console, relay, lookup: the program of demo/) and the agent joining
# it in a scratch home.
demo: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target olvex-student olvex-demo-peers
	scripts/demo $(BUILD_DIR)

# Debug build with AddressSanitizer and UndefinedBehaviorSanitizer, every test.
test-asan:
	$(MAKE) test BUILD_DIR=build-asan BUILD_TYPE=Debug \
	    CMAKE_FLAGS="-DOLVEX_SANITIZE=address -DOLVEX_BUILD_BENCH=OFF $(CMAKE_FLAGS)"

# ThreadSanitizer over the threaded suites (ctest label "threaded").
test-tsan:
	$(MAKE) test BUILD_DIR=build-tsan BUILD_TYPE=RelWithDebInfo \
	    CMAKE_FLAGS="-DOLVEX_SANITIZE=thread -DOLVEX_BUILD_BENCH=OFF $(CMAKE_FLAGS)" CTEST_FLAGS="-L threaded"

# Builds the libFuzzer targets with clang and runs each briefly over its seed corpus.
fuzz-smoke: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DOLVEX_BUILD_FUZZ=ON -DOLVEX_BUILD_TESTS=OFF -DOLVEX_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS)
	scripts/fuzz-smoke build-fuzz

ci:
	bash .ci/run

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails on any tracked source that clang-format would change (the repository's .clang-format).
format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
