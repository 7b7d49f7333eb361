# What both ARM toolchain files share: Debian's cross compilers for
# KORDANE_TRIPLET; libraries and CMake packages from that architecture's
# multiarch directories (/usr/lib/<triplet>, found through
# CMAKE_LIBRARY_ARCHITECTURE); build tools (ppdc, cups-config,
# dpkg-shlibdeps) from the build machine; qemu-user to run what the build
# made.
set(CMAKE_C_COMPILER ${KORDANE_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${KORDANE_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${KORDANE_TRIPLET})

# ctest, test discovery and add_test(... COMMAND target) run the target's
# programs through qemu-user. Their loader and C library come from the
# target's multiarch packages (libc6:<arch>, which the -dev packages pull in:
# /lib/ld-linux-*.so.* and /lib/<triplet>), the same ones as every other
# library they load. No -L /usr/<triplet>: the cross toolchain's own C library
# there is another build, and its loader with the multiarch libc.so.6 breaks
# fork and thread creation in the emulated program.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/${KORDANE_QEMU})

# The Debian package is for the target's architecture.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${KORDANE_DEB_ARCH})

# Release at -O2, as Debian builds its own packages (GCC 12 at -O3 also
# warns falsely inside libstdc++'s string code).
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of Release builds")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of Release builds")

# pkg-config looks only at the target's .pc files: the build machine's would
# hand the linker libraries of the wrong architecture. A library installed
# natively but not for the target (libpappl for the printer application)
# is then simply not found, and what needs it is not built.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${KORDANE_TRIPLET}/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
