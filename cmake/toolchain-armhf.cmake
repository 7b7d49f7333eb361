# Cross build for 32-bit ARM with hardware floating point (older Raspberry
# Pis, Debian armhf) with Debian's crossbuild-essential-armhf and the armhf
# -dev packages installed beside the native ones (dpkg --add-architecture
# armhf). Tests and the programs built for them run under qemu-user.
# scripts/cross-build.sh armhf does it all.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(KORDANE_TRIPLET arm-linux-gnueabihf)
set(KORDANE_DEB_ARCH armhf)
set(KORDANE_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
