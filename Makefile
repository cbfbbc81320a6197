# Korvan: every build, test and benchmark step goes through these targets.
#   make run    set up, build (Release) and start the engine in build/
#   make test   set up, build and run every test
#   make check  the tests again under AddressSanitizer + UndefinedBehaviorSanitizer,
#               then the threaded tests under ThreadSanitizer
#   make bench  the benchmarks
#   make fuzz   the protocol fuzzer (clang, libFuzzer, ASan + UBSan) for FUZZ_SECONDS
#               seconds (default 300), split between its byte and command modes

SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan
TSAN_BUILD := build-tsan
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 300
FUZZ_MODES ?= bytes commands

# Debian packages the build and the tests need (gnuchess-book: the default
# opening book; strace: the test that the engine writes no file).
PACKAGES := g++ cmake make pkg-config libglib2.0-dev libgtest-dev libgaviotatb-dev gaviotatb \
	gnuchess-book strace
# Packages only the benchmarks need (opponent engines).
BENCH_PACKAGES := glaurung toga2
# Packages only the fuzzer needs (clang with its libFuzzer and sanitizer runtimes).
FUZZ_PACKAGES := clang libclang-rt-14-dev

.PHONY: all setup setup-bench setup-fuzz build run test check bench fuzz clean

all: build

define install_missing
	@missing=""; \
	for p in $(1); do \
		dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
		if [ "$$(id -u)" = 0 ]; then \
			echo "Installing:$$missing"; \
			export DEBIAN_FRONTEND=noninteractive; \
			{ apt-get install -y -q $$missing || { apt-get update -q && apt-get install -y -q $$missing; }; } >/dev/null || exit 1; \
		else \
			echo "Missing packages:$$missing"; \
			echo "Install them with: sudo apt-get install -y$$missing"; \
			exit 1; \
		fi; \
	fi
endef

setup:
	$(call install_missing,$(PACKAGES))

setup-bench: setup
	$(call install_missing,$(BENCH_PACKAGES))

setup-fuzz: setup
	$(call install_missing,$(FUZZ_PACKAGES))

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	cd $(BUILD) && ./korvan

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

check: setup
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZE=address >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZE=thread >/dev/null
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target korvan-threads-tests
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -L threads --no-tests=ignore

bench: build setup-bench
	@tools/bench.sh $(BUILD)

# One fuzzing process (one core); new inputs and crashes stay in $(FUZZ_BUILD).
fuzz: setup-fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DKORVAN_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target korvan-fuzz
	tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_MODES)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
