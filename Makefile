# Korvan: every build, test and benchmark step goes through these targets.
#   make run    set up, build (Release) and start the engine in build/
#   make test   set up, build and run every test
#   make check  the tests again under AddressSanitizer + UndefinedBehaviorSanitizer,
#               then the threaded tests under ThreadSanitizer
#   make bench  the benchmarks

SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan
TSAN_BUILD := build-tsan

# Debian packages the build and the tests need (gnuchess-book: the default
# opening book).
PACKAGES := g++ cmake make pkg-config libglib2.0-dev libgtest-dev libgaviotatb-dev gaviotatb \
	gnuchess-book
# Packages only the benchmarks need (opponent engines).
BENCH_PACKAGES := glaurung toga2

.PHONY: all setup setup-bench build run test check bench clean

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

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
