# --- ui: mutated PNG files through the decoder, the presenter's page load and glyph painting
find_package(PNG REQUIRED)
upgrade_add_fuzzer(ui_load_png_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/ui/LoadPngFuzz.cpp
    LIBS ui_presenter PNG::PNG
    RUNS 10000)
# The white page that glyphs are painted into is made with the tests' PNG writer.
target_sources(ui_load_png_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tests/ui/PngFixtures.cpp)
target_include_directories(ui_load_png_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tests/ui)
# --- end ui
