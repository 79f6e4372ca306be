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
