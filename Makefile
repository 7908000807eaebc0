# Two commands on a fresh Debian 12 machine: `make run` and `make test`.
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja

.PHONY: all deps deps-test build build-test run test clean

all: build

deps:
	@scripts/install-deps.sh

deps-test:
	@scripts/install-deps.sh --test

build: deps
	@cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build -j $(JOBS)

build-test: deps-test
	@cmake -S . -B build-test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQL_SANITIZE=ON >/dev/null
	@cmake --build build-test -j $(JOBS)

test: build-test
	@cd build-test && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS)

run: build
	@scripts/run.sh

clean:
	rm -rf build build-test
