#pragma once

#include <string>

// File system questions the shared code asks. Any thread; no state.
namespace FileOperation {

// True when something (a file, a directory, ...) exists at path.
bool Exists(const std::string& path);

} // namespace FileOperation
