#pragma once

#include <string>

// The bytes of a preference file ("AppPreferences.json" in the store) that
// sets the display language: the record identifier, the text's length in
// four little-endian bytes, then the JSON text with the language property.
std::string PreferenceRecord(const std::string& language);
