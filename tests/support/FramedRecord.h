#pragma once

#include <string>

// The record identifiers, written out byte for byte so that the tests hold the
// product's constants against them: the one records are written with, and the
// other one that JsonImporterExporter::ImportDataNoRetry also accepts.
inline constexpr unsigned char DefaultRecordIdentifier[16] = {0xb3, 0xec, 0x09, 0x9a, 0x22, 0x92, 0x48, 0xfa,
                                                              0x83, 0xd0, 0x06, 0x84, 0x0b, 0xc9, 0x91, 0x02};
inline constexpr unsigned char AlternateRecordIdentifier[16] = {0xcd, 0xb4, 0x69, 0x80, 0x7f, 0xd5, 0x4c, 0xeb,
                                                                0x86, 0x32, 0x59, 0x13, 0x62, 0x61, 0x8b, 0x90};

// A framed JSON record, as the store's files and the board EEPROM hold it: the
// 16-byte identifier, the text's length in four little-endian bytes, the text.
std::string FramedRecord(const std::string& text, const unsigned char* identifier = DefaultRecordIdentifier);
