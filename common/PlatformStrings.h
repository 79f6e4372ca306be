#pragma once

// Printer-wide names shared by both programs.
namespace PlatformStrings {
namespace FilePaths {
inline constexpr const char* Store = "/Store";
} // namespace FilePaths
} // namespace PlatformStrings
