# Fuzz targets of the module flasher's reply rules.
upgrade_add_fuzzer(fuzz_flasher_replies ${CMAKE_CURRENT_SOURCE_DIR}/flasher/ReplyParsingFuzzer.cpp LIBS flasher)
