# QNX Neutrino 7.1 on the printer's 32-bit ARMv7 controller, built with the
# SDP's qcc/q++ (gcc 8, target gcc_ntoarmv7le). The SDP's environment script
# (qnxsdp-env.sh) sets QNX_HOST and QNX_TARGET; docs/target.md has the steps:
#   . ~/qnx710/qnxsdp-env.sh
#   cmake -S . -B build/qnx -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-qnx710-armv7.cmake \
#         -DUPGRADE_TESTS=OFF -DRAPIDJSON_INCLUDE_DIR=/path/to/rapidjson/include
#   cmake --build build/qnx -j2 --target RadioFlashMonitor ModuleFlasher
set(CMAKE_SYSTEM_NAME QNX)
set(CMAKE_SYSTEM_VERSION 7.1.0)
set(CMAKE_SYSTEM_PROCESSOR armv7)

# try_compile projects read this file again: take the SDP's folders from the
# environment, and pass them on to those projects.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QNX_HOST QNX_TARGET)
foreach(sdp_folder QNX_HOST QNX_TARGET)
    if(NOT ${sdp_folder})
        set(${sdp_folder} "$ENV{${sdp_folder}}")
    endif()
    if(NOT ${sdp_folder} OR NOT IS_DIRECTORY "${${sdp_folder}}")
        message(FATAL_ERROR "${sdp_folder} is not set to a folder of the QNX SDP 7.1: "
                            "source the SDP's qnxsdp-env.sh first (or pass -D${sdp_folder}=...)")
    endif()
endforeach()

set(CMAKE_C_COMPILER "${QNX_HOST}/usr/bin/qcc")
set(CMAKE_CXX_COMPILER "${QNX_HOST}/usr/bin/q++")
# CMake passes the target to qcc as -Vgcc_ntoarmv7le.
set(CMAKE_C_COMPILER_TARGET gcc_ntoarmv7le)
set(CMAKE_CXX_COMPILER_TARGET gcc_ntoarmv7le)

# Headers and libraries of the target come from the SDP (usr/include, and
# armle-v7/ for the libraries: screen, png, z); programs run on this machine.
set(CMAKE_FIND_ROOT_PATH "${QNX_TARGET}" "${QNX_TARGET}/armle-v7")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
