# Cross build for 64-bit ARM (Raspberry Pi OS and Debian arm64) with Debian's
# crossbuild-essential-arm64 and the arm64 -dev packages installed beside the
# native ones (dpkg --add-architecture arm64). Tests and the programs built
# for them run under qemu-user. scripts/cross-build.sh arm64 does it all.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KORDANE_TRIPLET aarch64-linux-gnu)
set(KORDANE_DEB_ARCH arm64)
set(KORDANE_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
