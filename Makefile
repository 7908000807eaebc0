# Two commands on a fresh Debian 12 machine: `make run` and `make test`.
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja

.PHONY: all deps deps-test build build-test build-lower run test clean

# The test builds share compiled objects through ccache: the lower-layer build reuses build-test's.
TEST_CCACHE := CCACHE_BASEDIR=$(CURDIR) CCACHE_NOHASHDIR=1
TEST_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQL_SANITIZE=ON

all: build

deps:
	@scripts/install-deps.sh

deps-test:
	@scripts/install-deps.sh --test

build: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build -j $(JOBS)

build-test: deps-test
	@cmake -S . -B build-test $(CMAKE_GEN) $(TEST_FLAGS) >/dev/null
	@$(TEST_CCACHE) cmake --build build-test -j $(JOBS)

# The lowest layers alone (base, host, display, book) must build, link and pass their tests: a call
# from them into a higher layer fails here.
build-lower: deps-test
	@cmake -S . -B build-lower $(CMAKE_GEN) $(TEST_FLAGS) -DQL_TOP=book >/dev/null
	@$(TEST_CCACHE) cmake --build build-lower -j $(JOBS)

test: build-test build-lower
	@cd build-test && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS)
	@cd build-lower && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS)

run: build
	@scripts/run.sh

clean:
	rm -rf build build-test build-lower
