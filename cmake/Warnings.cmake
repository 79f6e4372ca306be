# Warnings are errors in our own code; every target opts in with upgrade_warnings().
# -Wnull-dereference is left out: with optimisation gcc reports it inside the
# standard library's inlined code, where our code cannot mend it.
option(UPGRADE_WERROR "Treat warnings in our own code as errors" ON)
add_library(upgrade_warnings INTERFACE)
target_compile_options(upgrade_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
    -Wunused -Woverloaded-virtual -Wconversion -Wsign-conversion
    -Wdouble-promotion -Wformat=2 $<$<BOOL:${UPGRADE_WERROR}>:-Werror>)
