# Board EEPROM: the file table over random and corrupt chip images.
# Reads are cheap; writes pause 5 ms per page on the simulated chip, so they get fewer runs.
foreach(target fuzz_eeprom_image fuzz_eeprom_write)
    if(target STREQUAL fuzz_eeprom_image)
        upgrade_add_fuzzer(${target} ${CMAKE_CURRENT_SOURCE_DIR}/eeprom/EepromImageFuzzer.cpp
            LIBS eeprom upgrade_host upgrade_warnings RUNS 1500)
    else()
        upgrade_add_fuzzer(${target} ${CMAKE_CURRENT_SOURCE_DIR}/eeprom/EepromWriteFuzzer.cpp
            LIBS eeprom upgrade_host upgrade_warnings RUNS 300)
    endif()
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/eeprom/support/ModelI2CBus.cpp)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/eeprom/support
        ${PROJECT_SOURCE_DIR}/host/i2c ${CMAKE_CURRENT_SOURCE_DIR}/eeprom)
endforeach()
