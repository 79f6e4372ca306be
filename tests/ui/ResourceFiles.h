#pragma once

#include <string>
#include <vector>

// What the tests know independently of the build: the language folders in
// table order and where the committed resource files lie.
namespace ResourceFiles {
const std::vector<std::string>& Languages();
const std::vector<std::string>& GlyphNames();
// The relative paths of the 132 compiled-in files, in table order.
std::vector<std::string> TableOrder();
// The bytes of a committed file under ui/resources/; empty when missing.
std::vector<unsigned char> Read(const std::string& relativePath);
bool IsTallScript(const std::string& language);
} // namespace ResourceFiles
