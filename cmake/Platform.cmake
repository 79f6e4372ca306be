# The platform decides what provides the target's system services.
#  - QNX: the real libraries (Screen, the resource managers, libc's QNX calls).
#  - any other system: the stand-ins under host/, which simulate what Linux lacks.
# Code links `upgrade_platform` and never asks which platform it is on.
add_library(upgrade_platform INTERFACE)
if(CMAKE_SYSTEM_NAME STREQUAL "QNX")
    set(UPGRADE_HOST OFF)
    target_link_libraries(upgrade_platform INTERFACE screen)
else()
    set(UPGRADE_HOST ON)
    target_link_libraries(upgrade_platform INTERFACE upgrade_host)
endif()

# upgrade_platform_sources(TARGET QNX source... HOST source...): the two
# halves of one of the project's own seams, beside each other in the seam's
# folder; the platform's half is compiled into TARGET.
function(upgrade_platform_sources target)
    cmake_parse_arguments(P "" "" "QNX;HOST" ${ARGN})
    if(UPGRADE_HOST)
        target_sources(${target} PRIVATE ${P_HOST})
    else()
        target_sources(${target} PRIVATE ${P_QNX})
    endif()
endfunction()
