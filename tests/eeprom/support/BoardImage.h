#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Builds board EEPROM images for tests: records with their check words and
// table entries written straight into the bytes.
namespace BoardImage {

std::vector<std::uint8_t> Erased(std::size_t size = 32768);
std::vector<std::uint8_t> Record(const std::string& payload);
void PutEntry(std::vector<std::uint8_t>& image, unsigned int file, unsigned short start, unsigned short size);
// Places the record and its table entry; returns the record's size.
unsigned short PutFile(std::vector<std::uint8_t>& image, unsigned int file, unsigned short start,
                       const std::string& payload);

} // namespace BoardImage
