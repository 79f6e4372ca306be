#include "ResourceFiles.h"

#include <fstream>
#include <iterator>

namespace ResourceFiles {
const std::vector<std::string>& Languages()
{
    static const std::vector<std::string> languages{"bahasaindonesian",
                                                    "bahasamalay",
                                                    "bulgarian",
                                                    "chinese(simplified)",
                                                    "chinese(traditional)",
                                                    "croatian",
                                                    "czech",
                                                    "danish",
                                                    "dutch",
                                                    "english",
                                                    "estonian",
                                                    "finnish",
                                                    "french",
                                                    "german",
                                                    "hungarian",
                                                    "italian",
                                                    "japanese",
                                                    "korean",
                                                    "norwegian",
                                                    "polish",
                                                    "portuguese",
                                                    "romanian",
                                                    "russian",
                                                    "slovakian",
                                                    "slovenian",
                                                    "spanish",
                                                    "swedish",
                                                    "thai",
                                                    "turkish",
                                                    "vietnamese"};
    return languages;
}

const std::vector<std::string>& GlyphNames()
{
    static const std::vector<std::string> glyphs{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "percent", "period"};
    return glyphs;
}

std::vector<std::string> TableOrder()
{
    std::vector<std::string> paths;
    for (const auto& language : Languages()) {
        for (const char* page : {"15", "16", "17"}) {
            paths.push_back(language + "/" + page + ".png");
        }
    }
    for (const auto& language : Languages()) {
        paths.push_back(language + "/coordinates.json");
    }
    for (const auto& glyph : GlyphNames()) {
        paths.push_back("numbers/" + glyph + ".png");
    }
    return paths;
}

std::vector<unsigned char> Read(const std::string& relativePath)
{
    std::ifstream in(std::string(UI_RESOURCES_DIR) + "/" + relativePath, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsTallScript(const std::string& language)
{
    return language == "chinese(simplified)" || language == "chinese(traditional)" || language == "japanese" ||
           language == "korean" || language == "thai";
}
} // namespace ResourceFiles
