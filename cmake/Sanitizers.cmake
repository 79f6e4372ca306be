# Sanitizer builds apply to every target of the tree, so libraries and tests
# are instrumented alike.
if(UPGRADE_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(UPGRADE_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT UPGRADE_SANITIZE STREQUAL "")
    message(FATAL_ERROR "UPGRADE_SANITIZE must be empty, 'address' or 'thread'")
endif()

if(UPGRADE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "The fuzz targets need clang (libFuzzer)")
    endif()
    # Libraries get coverage instrumentation; only the fuzz targets link the driver.
    # Undefined behaviour ends the run as a crash, so a campaign never passes
    # over it. Pointer overflow alone stays recoverable: a suppression can only
    # silence a recoverable check, and rapidjson's stack does arithmetic on its
    # null start pointer (fuzz/ubsan.supp). The fuzz programs set halt_on_error,
    # so every report that is not suppressed still ends the run.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
        -fsanitize-recover=pointer-overflow -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
