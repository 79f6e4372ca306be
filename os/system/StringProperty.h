#pragma once

#include <string>
#include <vector>

// A named text value that the OS utilities report about the platform. The
// printer's property catalogue is larger; this is the part these reports need.
struct StringProperty
{
    std::string name;
    std::string value;
};

using PropertyList = std::vector<StringProperty>;

// Names of the properties the OS utilities report.
namespace OSPropertyNames {
inline constexpr const char* KernelVersion = "KernelVersion";
inline constexpr const char* OsBuildNumber = "OsBuildNumber";
inline constexpr const char* SdkVersion = "SdkVersion";
inline constexpr const char* SdkBuildNumber = "SdkBuildNumber";
} // namespace OSPropertyNames
