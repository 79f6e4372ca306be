#pragma once

// Names shared by the upgrade programs: directories, the upgrade script's
// command-line parameters and JSON keys. The namespace's functions belong to
// the units that use them and are declared in their headers.
namespace QnxUpgradeCommon {

// The RAM disk on which the upgrade script leaves its marker files.
inline constexpr const char* RamDiskPath = "/ramdisk";
inline constexpr const char* DirectorySlash = "/";

// Parameters the upgrade script passes to the upgrade programs.
inline constexpr const char* UpgraderFileFlag = "-f";
inline constexpr const char* AutoConfirmUpgradeParam = "-a";
inline constexpr const char* RemoteUpgradeProcessParam = "-p";
inline constexpr const char* RecoveryModeParam = "-r";

// Member of the board's build record that holds the installed build.
inline constexpr const char* BuildNumberKey = "BuildNumber";

} // namespace QnxUpgradeCommon
