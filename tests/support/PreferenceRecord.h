#pragma once

#include <string>

// The bytes of a preference file ("AppPreferences.json" in the store) that
// sets the display language: a framed record (FramedRecord.h) of the JSON
// text with the language property.
std::string PreferenceRecord(const std::string& language);
