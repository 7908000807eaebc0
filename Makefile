# Two commands on a fresh Debian 12 machine: `make run` and `make test`.
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja

.PHONY: all deps deps-test build build-test build-lower build-fuzz run test fuzz clean

# The builds share compiled objects through ccache, whatever folder the checkout lies in: the
# lower-layer build reuses build-test's, and a fresh clone reuses what an earlier one compiled.
SHARED_CCACHE := CCACHE_BASEDIR=$(CURDIR) CCACHE_NOHASHDIR=1
TEST_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQL_SANITIZE=ON

all: build

deps:
	@scripts/install-deps.sh

deps-test:
	@scripts/install-deps.sh --test

build: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@$(SHARED_CCACHE) cmake --build build -j $(JOBS)

build-test: deps-test
	@cmake -S . -B build-test $(CMAKE_GEN) $(TEST_FLAGS) >/dev/null
	@$(SHARED_CCACHE) cmake --build build-test -j $(JOBS)

# The lowest layers alone (base, host, display, book) must build, link and pass their tests: a call
# from them into a higher layer fails here.
build-lower: deps-test
	@cmake -S . -B build-lower $(CMAKE_GEN) $(TEST_FLAGS) -DQL_TOP=book >/dev/null
	@$(SHARED_CCACHE) cmake --build build-lower -j $(JOBS)

# Leaks are checked; the suppressions name only functions inside system libraries.
TEST_ENV := LSAN_OPTIONS=suppressions=$(CURDIR)/tests/leaks.supp:print_suppressions=0

test: build-test build-lower
	@cd build-test && $(TEST_ENV) ctest --output-on-failure -j $(JOBS)
	@cd build-lower && $(TEST_ENV) ctest --output-on-failure -j $(JOBS)

# Every libFuzzer harness, built with clang over an instrumented tree (the harnesses only, no tests).
build-fuzz: deps-test
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQL_FUZZ=ON >/dev/null
	@$(SHARED_CCACHE) cmake --build build-fuzz -j $(JOBS) --target fuzzers

# Each harness for a few seconds over its seeds. Every allocation's stack is unwound in full:
# MuPDF has no frame pointers, and its leak that the suppressions name shows only in a full stack.
FUZZ_SECONDS ?= 5
fuzz: build-fuzz
	@$(TEST_ENV) ASAN_OPTIONS=fast_unwind_on_malloc=0 scripts/fuzz-briefly.sh build-fuzz $(FUZZ_SECONDS)

run: build
	@scripts/run.sh

clean:
	rm -rf build build-test build-lower build-fuzz
