# One entry point for a fresh Debian 12 machine: packages, configure, build, test.
BUILD       ?= build
ASAN_BUILD  ?= build-asan
FUZZ_SECONDS ?= 20
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARALLAX3D_WERROR=ON

.PHONY: all deps build test sanitize fuzz clean

all: build

deps:
	scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j2

# Address and undefined-behaviour sanitizers over the whole suite, then the fuzz targets briefly.
sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPARALLAX3D_WERROR=ON \
	    -DPARALLAX3D_SANITIZE=address,undefined -DPARALLAX3D_FUZZ=ON
	cmake --build $(ASAN_BUILD)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j2
	$(MAKE) fuzz

fuzz:
	scripts/run-fuzzers.sh $(ASAN_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
