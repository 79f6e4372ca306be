# upgrade_add_subfolders(): adds every direct sub-folder that has a CMakeLists.txt,
# so independent areas (stand-ins, tools, black-box suites) can be added without
# touching a shared list.
macro(upgrade_add_subfolders)
    file(GLOB _children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT _children)
    foreach(_child ${_children})
        if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
            add_subdirectory(${_child})
        endif()
    endforeach()
endmacro()
