# 32-bit ARM (armhf) Linux build with Debian's cross compiler, so that what
# 32 bits expose (sizes, layouts, formats) shows before the printer's own
# toolchain sees the code. Libraries come from Debian's armhf packages through
# multiarch (/usr/lib/arm-linux-gnueabihf); googletest is built from its
# source package by the build itself (tests/CMakeLists.txt). The tests run
# under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

# The printer's processor: ARMv7-A with VFPv3 and NEON. -Wno-psabi silences
# gcc's notes that the passing of some arguments changed in gcc 7.1: every
# object of this build comes from one compiler.
#
# _FILE_OFFSET_BITS=64: 32-bit glibc's readdir and stat fail with EOVERFLOW
# on an inode number or directory offset above 32 bits, as a 64-bit kernel
# (the emulator's) hands out; with 64-bit offsets they read every entry.
set(UPGRADE_ARMHF_FLAGS "-march=armv7-a -mfpu=neon -mfloat-abi=hard -Wno-psabi -D_FILE_OFFSET_BITS=64")
set(CMAKE_C_FLAGS_INIT "${UPGRADE_ARMHF_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${UPGRADE_ARMHF_FLAGS}")

# The C library and loader the cross compiler links against live under this
# prefix. The multiarch armhf C library (which libpng:armhf brings along) may
# be a different build; the loader would find it first through the host's
# ld.so.cache, and a loader and C library of two builds crash at start. So
# the emulated programs look in the prefix first, and find libpng at its
# multiarch path after it.
find_program(UPGRADE_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${UPGRADE_QEMU_ARM} -L /usr/arm-linux-gnueabihf
    -E LD_LIBRARY_PATH=/usr/arm-linux-gnueabihf/lib)

# Programs (code generators, python) are the build machine's; libraries and
# headers only the target's.
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
