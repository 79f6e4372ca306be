#pragma once

#include "EEPromHandler.h"
#include "QnxEEPromHandler.h"

#include <rapidjson/document.h>

#include <string>

// The board's JSON records kept in EEPROM files (the build record holds the
// installed build as member "BuildNumber").
namespace QnxUpgradeCommon {

// Parses the payload of `file` into document. False, with the document
// untouched, when the file reads as empty; otherwise whether the text (after
// one complete byte-order mark, if there is one) is one JSON value followed by
// nothing but whitespace, nested no deeper than
// JsonDocumentParser::MaxNestingDepth. A failed parse leaves the document too.
bool JsonDeserializeEEprom(rapidjson::Document& document, const QnxEEPromHandler& handler,
                           EEPromHandler::FilesInEEProm file);

// The root object's string member `key`, up to its first zero byte; "" when
// the root is not an object or the member is missing or not a string.
std::string ExtractStringMemberFromJson(const rapidjson::Document& document, const std::string& key);

} // namespace QnxUpgradeCommon
