#pragma once

#include <rapidjson/document.h>

#include <cstddef>
#include <cstdio>

// The one way the program turns JSON text into a rapidjson document.
//
// Every function builds the result in a fresh document (its own memory pool of
// 64 KiB chunks, parse stack of 1024 bytes) and swaps it into `target` only
// on success, so a failed parse leaves `target` as it was. Standard JSON: one
// root value, after which only whitespace may follow. Nesting deeper than
// MaxNestingDepth arrays and objects is refused as a parse error: parsing,
// copying and writing a document recurse once per level, and a hostile text
// must not be able to run the stack out. So is a number too large for a
// double (it would turn into infinity, which no JSON text can hold). No function throws for bad input or
// keeps state; each may be used from any thread on documents of its own.
namespace JsonDocumentParser {

inline constexpr unsigned int MaxNestingDepth = 128;

// An empty document with the program's allocator settings; its root is null.
rapidjson::Document NewDocument();

// Parses the zero-terminated text in place: strings are decoded inside the
// text, and the document refers to it, so the text must outlive the document.
bool ParseInsitu(rapidjson::Document& target, char* text);
// Parses a zero-terminated text (copying strings into the document).
bool Parse(rapidjson::Document& target, const char* text);
// Parses at most `length` bytes; a zero byte before that ends the text. Every
// byte is text: a byte-order mark is not skipped (see ByteOrderMarkLength).
bool Parse(rapidjson::Document& target, const char* text, std::size_t length);
// Parses exactly `length` bytes: one value, then only whitespace. A zero byte
// is text like any other (and so a parse error), not the end of it.
bool ParseWhole(rapidjson::Document& target, const char* text, std::size_t length);
// Parses everything that can be read from `file`, from its current position.
bool ParseFile(rapidjson::Document& target, std::FILE* file);
// Copies `source` with all its strings into `target`'s own memory.
bool DeepCopy(rapidjson::Document& target, const rapidjson::Value& source);
// 3 when the text begins with the complete UTF-8 byte-order mark EF BB BF,
// else 0. Readers that accept a mark skip exactly this many bytes: any part
// of a mark, or a second one, is text and so a parse error.
std::size_t ByteOrderMarkLength(const char* text, std::size_t length);

} // namespace JsonDocumentParser
