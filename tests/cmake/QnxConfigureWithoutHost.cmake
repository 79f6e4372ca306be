# Configures a copy of the source tree that lacks host/ as a QNX build (the
# host's compilers and libraries in place of the SDP's, which only a target
# build needs) and checks that the QNX halves are chosen and nothing of the
# stand-ins is.
#   cmake -DSOURCE=... -DWORK=... -DGENERATOR=... -DC_COMPILER=... -DCXX_COMPILER=...
#         -DLIBRARY_ARCHITECTURE=... -P QnxConfigureWithoutHost.cmake
foreach(required SOURCE WORK GENERATOR C_COMPILER CXX_COMPILER)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "${required} is not given")
    endif()
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/src")
file(GLOB children LIST_DIRECTORIES true RELATIVE "${SOURCE}" "${SOURCE}/*")
foreach(child ${children})
    # Build folders, the repository and the stand-ins stay behind.
    if(child MATCHES "^(host|build.*|\\..*)$")
        continue()
    endif()
    file(COPY "${SOURCE}/${child}" DESTINATION "${WORK}/src")
endforeach()

execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${WORK}/src" -B "${WORK}/build" -G "${GENERATOR}"
        -DCMAKE_SYSTEM_NAME=QNX
        -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
        -DCMAKE_LIBRARY_ARCHITECTURE=${LIBRARY_ARCHITECTURE}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "QNX configure without host/ failed (${result}):\n${output}")
endif()

file(GLOB_RECURSE build_files "${WORK}/build/*.ninja" "${WORK}/build/Makefile" "${WORK}/build/*/build.make")
set(generated "")
foreach(build_file ${build_files})
    file(READ "${build_file}" text)
    string(APPEND generated "${text}")
endforeach()
foreach(qnx_half shutdown_procfs_qnx.cpp SlayProgramQnx.cpp SystemTimeZoneQnx.cpp)
    string(FIND "${generated}" "${qnx_half}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the QNX configure does not build ${qnx_half}")
    endif()
endforeach()
foreach(host_part upgrade_host upgrade-slay _host.cpp Host.cpp)
    string(FIND "${generated}" "${host_part}" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "the QNX configure builds a host part (${host_part})")
    endif()
endforeach()
message(STATUS "QNX configure without host/: QNX halves chosen, no stand-in built")
