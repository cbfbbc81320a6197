# Korvan: every build, test and benchmark step goes through these targets.
#   make run        set up, build the engine (Release) and start it in build/
#   make test       set up, build everything and run every test
#   make check      the tests again under AddressSanitizer + UndefinedBehaviorSanitizer,
#                   then the threaded tests under ThreadSanitizer
#   make bench      the benchmarks
#   make fuzz       the fuzzers (clang, libFuzzer, ASan + UBSan), FUZZ_SECONDS seconds each
#                   (default 300): the core fuzzer, then the protocol fuzzer split between
#                   its byte and command modes (FUZZERS picks: core, protocol)
#   make bitbases   every endgame table of 3 to 5 men into build/egbb/ (hours; a run
#                   that was stopped goes on where it was)
#   make install    an optimised build for this machine in build-install/, installed
#                   under $(DESTDIR)$(PREFIX) (PREFIX default /usr/local)
#   make uninstall  removes what make install put there
#   make match-deps the match runner's library (tools/match/package-lock.json), by npm ci
#   make match      the soak matches against glaurung and toga2 (tools/match.sh, hours)

SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan
TSAN_BUILD := build-tsan
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS ?= 300
FUZZ_MODES ?= bytes commands
FUZZERS ?= core protocol
INSTALL_BUILD := build-install
MATCH_DIR := tools/match
MATCH_OUT ?= match-out
PREFIX ?= /usr/local
DESTDIR ?=
# The installed build: profile-guided optimisation trained by a bench run of
# depth PGO_DEPTH (PGO=0 to leave it out) and code for this machine's processor
# (NATIVE=0 for a build that runs on any x86-64, as a package for others
# needs). docs/benchmarks.md has the measurements behind both.
PGO ?= 1
NATIVE ?= 1
PGO_DEPTH ?= 7

# Debian packages the build and the tests need (gnuchess-book: the default
# opening book; libgaviotatb-dev and gaviotatb: Gaviota's 3-man tables, which
# only the tests use, as an oracle for the engine's own endgame tables; strace:
# the test that the engine writes no file;
# polyglot: the test that drives the installed engine through xboard's protocol).
PACKAGES := g++ cmake make pkg-config libglib2.0-dev libgtest-dev libgaviotatb-dev gaviotatb \
	gnuchess-book strace polyglot
# Packages only the benchmarks need (engines to compare with).
BENCH_PACKAGES := glaurung toga2 gnuchess
# Packages only the fuzzer needs (clang with its libFuzzer and sanitizer runtimes).
FUZZ_PACKAGES := clang libclang-rt-14-dev

.PHONY: all setup setup-bench setup-fuzz engine build run test check bench bitbases fuzz install \
	install-build uninstall clean match-deps match

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

# The engine and what it needs at run time (book link, bitbase library and tables).
engine: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target runtime

# Everything: the engine, the tools and the tests.
build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: engine
	cd $(BUILD) && ./korvan

# The five-man tables beside the 3- and 4-man ones the build makes; finished
# tables are kept, so a stopped run goes on where it was. The engine started by
# `make run` finds them there, and `make install` installs them.
bitbases: engine
	$(BUILD)/tools/korvan-tbgen --men 5 --out $(BUILD)/egbb

# The match runner's dependencies from the npm registry, as its lock file pins
# them; npm ci runs again only when the lock file changes. The tests that play
# matches ask for this target through their CTest fixture.
match-deps: $(MATCH_DIR)/node_modules/.package-lock.json

$(MATCH_DIR)/node_modules/.package-lock.json: $(MATCH_DIR)/package.json $(MATCH_DIR)/package-lock.json
	@command -v npm >/dev/null || { echo "the match runner needs Node.js and npm (apt-get install nodejs npm)"; exit 1; }
	cd $(MATCH_DIR) && npm ci --no-audit --no-fund --loglevel=error
	touch $@

match: engine setup-bench match-deps
	tools/match.sh $(BUILD) $(MATCH_OUT)

test: build match-deps
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The sanitizer builds take the endgame tables the Release build generated
# (their own generator would be many times slower and makes the same bytes).
SANITIZED_TABLES := -DKORVAN_TABLES_FROM=$(CURDIR)/$(BUILD)/egbb

check: setup match-deps engine
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZE=address \
		$(SANITIZED_TABLES) >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVAN_SANITIZE=thread \
		$(SANITIZED_TABLES) >/dev/null
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target korvan-threads-tests
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -L threads --no-tests=ignore

bench: build setup-bench
	@tools/bench.sh $(BUILD)

# One fuzzing process at a time (one core); new inputs and crashes stay in $(FUZZ_BUILD).
fuzz: setup-fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DKORVAN_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target korvan-fuzz korvan-core-fuzz
	@status=0; \
	for f in $(FUZZERS); do \
		case $$f in \
			core) tests/fuzz/run-core.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) || status=1 ;; \
			protocol) tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_MODES) || status=1 ;; \
			*) echo "unknown fuzzer $$f (core, protocol)"; status=1 ;; \
		esac; \
	done; \
	exit $$status

# The installed build is redone when a source changes. With PGO the build is
# first instrumented, trained by a bench run, then rebuilt with its profile in
# the same folder (the profile files lie beside the objects); the rebuilt bench
# must search exactly the nodes the training run searched.
INSTALL_SOURCES := CMakeLists.txt Makefile $(shell find src tools egbb cmake -type f)
INSTALL_STAMP := $(INSTALL_BUILD)/optimised-pgo$(PGO)-native$(NATIVE).stamp
INSTALL_OPTIONS := -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	-DKORVAN_NATIVE=$(if $(filter 1,$(NATIVE)),ON,OFF)
INSTALL_TARGETS := runtime korvan-bench korvan-perft

$(INSTALL_STAMP): $(INSTALL_SOURCES)
	rm -f $(INSTALL_BUILD)/optimised-*.stamp
ifeq ($(PGO),1)
	cmake -S . -B $(INSTALL_BUILD) $(INSTALL_OPTIONS) -DKORVAN_PGO=generate >/dev/null
	cmake --build $(INSTALL_BUILD) -j $(JOBS) --target korvan-bench
	find $(INSTALL_BUILD) -name '*.gcda' -delete
	$(INSTALL_BUILD)/tools/korvan-bench $(PGO_DEPTH) | grep "^Nodes searched" \
		>$(INSTALL_BUILD)/training-signature
	cmake -S . -B $(INSTALL_BUILD) $(INSTALL_OPTIONS) -DKORVAN_PGO=use >/dev/null
	cmake --build $(INSTALL_BUILD) -j $(JOBS) --target $(INSTALL_TARGETS)
	$(INSTALL_BUILD)/tools/korvan-bench $(PGO_DEPTH) | grep "^Nodes searched" \
		| diff $(INSTALL_BUILD)/training-signature - \
		|| { echo "the optimised build searches other nodes than the training build"; exit 1; }
else
	cmake -S . -B $(INSTALL_BUILD) $(INSTALL_OPTIONS) -DKORVAN_PGO= >/dev/null
	cmake --build $(INSTALL_BUILD) -j $(JOBS) --target $(INSTALL_TARGETS)
endif
	touch $@

install-build: setup $(INSTALL_STAMP)

# The optimised build makes its own 3- and 4-man tables; the five-man tables
# `make bitbases` made (in build/egbb/) are installed beside them.
install: install-build
	DESTDIR="$(DESTDIR)" cmake --install $(INSTALL_BUILD) --prefix "$(PREFIX)"
	@for f in $(BUILD)/egbb/K?????.ktb; do \
		[ -f "$$f" ] || continue; \
		install -m 644 "$$f" "$(DESTDIR)$(PREFIX)/share/korvan/egbb/" && echo "-- Installing: $$f"; \
	done

# The same files as the install rules of CMakeLists.txt and egbb/CMakeLists.txt.
uninstall:
	rm -f "$(DESTDIR)$(PREFIX)"/bin/korvan "$(DESTDIR)$(PREFIX)"/bin/korvan-bench \
		"$(DESTDIR)$(PREFIX)"/bin/korvan-perft "$(DESTDIR)$(PREFIX)"/share/man/man6/korvan.6
	rm -rf "$(DESTDIR)$(PREFIX)"/share/korvan

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(INSTALL_BUILD)
