# Cross build for 64-bit ARM with Debian's cross compiler (g++-aarch64-linux-gnu) and the
# :arm64 development packages installed beside the native ones (scripts/install-cross-deps.sh).
# Programs of the build, and the tests, run under qemu-user: no binfmt registration needed.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(P3D_TRIPLET aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${P3D_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${P3D_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${P3D_TRIPLET})

# The arm64 libraries live in the system's multiarch folders (/usr/lib/aarch64-linux-gnu), which
# the compiler, the linker and find_package search by the triplet; pkg-config is told.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${P3D_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The arm64 C library of the multiarch root (libc6:arm64, which the development packages bring),
# not the cross compiler's copy under /usr/aarch64-linux-gnu: the loader's cache names the root's
# libc.so.6, and a loader of another build beside it hangs at the first thread.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
