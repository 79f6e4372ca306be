# Warnings are errors in our own code; every target opts in with upgrade_warnings().
add_library(upgrade_warnings INTERFACE)
target_compile_options(upgrade_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
    -Wunused -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference
    -Wdouble-promotion -Wformat=2 -Werror)
