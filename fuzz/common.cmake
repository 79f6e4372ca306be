# Fuzz targets of common/ and of the framed JSON records.
upgrade_add_fuzzer(fuzz_record_memory_import ${CMAKE_CURRENT_SOURCE_DIR}/eeprom/RecordMemoryImportFuzzer.cpp LIBS records common)
upgrade_add_fuzzer(fuzz_record_stream_import ${CMAKE_CURRENT_SOURCE_DIR}/eeprom/RecordStreamImportFuzzer.cpp LIBS records common)
upgrade_add_fuzzer(fuzz_json_memory_reader ${CMAKE_CURRENT_SOURCE_DIR}/common/JsonMemoryReaderFuzzer.cpp LIBS common)
upgrade_add_fuzzer(fuzz_json_escape_roundtrip ${CMAKE_CURRENT_SOURCE_DIR}/eeprom/JsonEscapeRoundTripFuzzer.cpp LIBS records common)
upgrade_add_fuzzer(fuzz_version ${CMAKE_CURRENT_SOURCE_DIR}/eeprom/VersionFuzzer.cpp LIBS records common)
upgrade_add_fuzzer(fuzz_split_string ${CMAKE_CURRENT_SOURCE_DIR}/common/SplitStringFuzzer.cpp LIBS common)
