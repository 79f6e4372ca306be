#pragma once

// Identifiers of the printer's properties, as the preference file names them
// in the "Name" member of each entry of "Properties".
namespace PropertyNames {

// The display language; its value names the folder of the translated pages.
inline constexpr const char* Language = "9F8EE615-2887-4AF9-8A06-37902964D991";

} // namespace PropertyNames
