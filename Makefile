# Thin wrapper around CMake. `make run` opens the viewer on the bundled samples; `make test`
# installs what is missing, builds and runs the whole suite.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test run format bench fuzz sanitize clean

all: build

deps:
	@bash scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

run: deps build
	@bash scripts/run-viewer $(BUILD)

sanitize:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DQP_SANITIZE=ON -DQP_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug"

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

fuzz:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DQP_FUZZ=ON -DQP_TESTS=OFF -DQP_BENCH=OFF -DQP_QT=OFF
	cmake --build build-fuzz -j$(JOBS)

format:
	@find src tests fuzz bench components -name '*.cpp' -o -name '*.h' 2>/dev/null | xargs -r clang-format -i

clean:
	rm -rf build build-asan build-fuzz
