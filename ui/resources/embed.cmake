# The program's resource table: the 132 files of this folder that are
# compiled in, in table order, and the build rules that turn them into
# constant data of a target.
#
# upgrade_embed_resources(<target>) adds to <target>
#  - one generated source per file, holding its bytes (embed_file.cmake),
#    rebuilt when that file changes;
#  - the generated table unit that defines EmbeddedResourceTable::Rows(),
#    pairing each key "/Upgrade/qnxupgrade/<folder>/<file>" with its bytes.
# Everything generated lives in the build folder.

set(UPGRADE_RESOURCE_LANGUAGES
    bahasaindonesian bahasamalay bulgarian "chinese(simplified)" "chinese(traditional)"
    croatian czech danish dutch english estonian finnish french german hungarian
    italian japanese korean norwegian polish portuguese romanian russian slovakian
    slovenian spanish swedish thai turkish vietnamese)
set(UPGRADE_RESOURCE_GLYPHS 0 1 2 3 4 5 6 7 8 9 percent period)
set(UPGRADE_RESOURCE_KEY_PREFIX "/Upgrade/qnxupgrade/")
set(_upgrade_resource_dir ${CMAKE_CURRENT_LIST_DIR})

function(upgrade_embed_resources target)
    set(files "")
    foreach(language IN LISTS UPGRADE_RESOURCE_LANGUAGES)
        foreach(page 15 16 17)
            list(APPEND files "${language}/${page}.png")
        endforeach()
    endforeach()
    foreach(language IN LISTS UPGRADE_RESOURCE_LANGUAGES)
        list(APPEND files "${language}/coordinates.json")
    endforeach()
    foreach(glyph IN LISTS UPGRADE_RESOURCE_GLYPHS)
        list(APPEND files "numbers/${glyph}.png")
    endforeach()

    set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded_resources)
    set(script ${_upgrade_resource_dir}/embed_file.cmake)
    set(sources "")
    set(declarations "")
    set(rows "")
    set(index 0)
    foreach(file IN LISTS files)
        set(input ${_upgrade_resource_dir}/${file})
        if(NOT EXISTS ${input})
            message(FATAL_ERROR "Compiled-in resource missing: ui/resources/${file}")
        endif()
        set(symbol resource${index})
        set(source ${out}/${symbol}.cpp)
        add_custom_command(OUTPUT ${source}
            COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${source} -DSYMBOL=${symbol}
                    -DLABEL=ui/resources/${file} -P ${script}
            DEPENDS ${input} ${script}
            COMMENT "Embedding ui/resources/${file}"
            VERBATIM)
        list(APPEND sources ${source})
        string(APPEND declarations "extern const unsigned char ${symbol}[];\nextern const std::int32_t ${symbol}Size;\n")
        string(APPEND rows "        {\"${UPGRADE_RESOURCE_KEY_PREFIX}${file}\", {${symbol}, ${symbol}Size}},\n")
        math(EXPR index "${index} + 1")
    endforeach()

    file(GENERATE OUTPUT ${out}/EmbeddedResourceTable.cpp CONTENT
"// Generated from ui/resources/embed.cmake; do not edit.
#include \"EmbeddedResourceTable.h\"

#include <cstdint>

namespace EmbeddedResourceData
{
${declarations}} // namespace EmbeddedResourceData

const QnxEmbeddedFiles::KeyAndResource* EmbeddedResourceTable::Rows()
{
    using namespace EmbeddedResourceData;
    // Built on first use, so that a caller never sees keys not yet constructed.
    static const QnxEmbeddedFiles::KeyAndResource rows[] = {
${rows}    };
    static_assert(sizeof(rows) / sizeof(rows[0]) == static_cast<std::size_t>(RowCount),
                  \"the table has one row per compiled-in file\");
    return rows;
}
")
    target_sources(${target} PRIVATE ${sources} ${out}/EmbeddedResourceTable.cpp)
endfunction()
