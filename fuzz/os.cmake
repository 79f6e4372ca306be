# The file system watcher's input rules: inotify read buffers and entry names.
upgrade_add_fuzzer(fuzz_inotify_buffer ${CMAKE_CURRENT_SOURCE_DIR}/os/watch/InotifyBufferFuzzer.cpp LIBS os upgrade_warnings)
