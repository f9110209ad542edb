# One entry point for a fresh Debian 12 machine: packages, configure, build, test.
BUILD       ?= build
ASAN_BUILD  ?= build-asan
TSAN_BUILD  ?= build-tsan
ARM64_BUILD ?= build-arm64
FUZZ_SECONDS ?= 20
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARALLAX3D_WERROR=ON
PREFIX      ?= /usr/local

.PHONY: all deps build run test sanitize sanitize-thread fuzz bench clean install uninstall \
        package package-check cross-arm64

all: build

deps:
	scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD)

# The application with whatever is plugged in (scripts/run.sh says what it chose).
run: build
	BUILD=$(BUILD) scripts/run.sh

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

# The shared frame channel, the calibration's, the depth map's and the alignment's workers and
# the two-core rectifier under the thread sanitizer: their tests run threads and processes.
CHANNEL_TESTS = '^(SharedGWorldMemoryTest|StampedChannelTest|ChannelExports|ChannelComponent|ChannelProcess|SharedCameraBundleTest|SharedCamDeviceTest|SharedCamDeviceTable|CamBroadcastWriterTest|BroadcastControlTest|CalibrationSessionTest|DepthWorkerTest|AlignmentSessionTest|StereoRectifierTest)\.'
sanitize-thread: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPARALLAX3D_WERROR=ON \
	    -DPARALLAX3D_SANITIZE=thread
	cmake --build $(TSAN_BUILD) --target test_channel test_stamped_channel test_channel_process \
	    test_channel_client test_vcam_device test_broadcast_writer test_broadcast_control \
	    test_stereo_calibration
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j2 -R $(CHANNEL_TESTS)

# The display-free libraries, the component, the plug-in and the virtual camera for arm64 with
# Debian's cross compiler, and their unit tests under qemu-user.
cross-arm64:
	scripts/install-cross-deps.sh
	cmake -S . -B $(ARM64_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARALLAX3D_WERROR=ON \
	    -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/aarch64-linux-gnu.cmake -DPARALLAX3D_DISPLAY_FREE=ON
	cmake --build $(ARM64_BUILD)
	ctest --test-dir $(ARM64_BUILD) --output-on-failure -j2 -L unit

# The programs, the component, the plug-in, menu entry, manuals and the camera's boot and login
# files under $(PREFIX), below $(DESTDIR) when given.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Every file the last `make install` from $(BUILD) put in place, then our own emptied folders.
uninstall:
	DESTDIR="$(DESTDIR)" packaging/uninstall.sh $(BUILD)/install_manifest.txt

# parallax3d_1.201_<arch>.deb in $(BUILD)
package: build
	cmake --build $(BUILD) --target package

# The package through lintian, then installed into a private view of the system and run there.
package-check: package
	packaging/check-package.sh $(BUILD)

fuzz:
	scripts/run-fuzzers.sh $(ASAN_BUILD) $(FUZZ_SECONDS)

# Our code beside its peers (memcpy, later ffmpeg and libyuv): one line per comparison.
bench:
	bench/compare.sh

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(ARM64_BUILD)
