# upgrade_add_subfolders(): adds every direct sub-folder that has a
# CMakeLists.txt, in alphabetical order. It is the one way folders are found,
# so a new area needs no shared list. Folders therefore never depend on the
# order they are added in: a folder that is not in every build returns early
# by itself, and other folders refer to its targets only by name (in links,
# dependencies and generator expressions), never with if(TARGET ...).
macro(upgrade_add_subfolders)
    file(GLOB _children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT _children)
    foreach(_child ${_children})
        if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
            add_subdirectory(${_child})
        endif()
    endforeach()
endmacro()
