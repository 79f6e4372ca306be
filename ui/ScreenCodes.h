#pragma once

// The numbers by which the presenter speaks to the compositor: the context
// type, the property names it reads and sets, and the event types it tells
// apart, as the printer's compositor numbers them. The presenter passes these
// and never the <screen/screen.h> names: Screen headers of different releases
// give some names other numbers, and the printer's compositor answers to
// these. docs/target.md says how to compare them with a target's header.
namespace ScreenCodes {

// screen_create_context: an application context.
inline constexpr int ApplicationContext = 0;

// Window properties.
inline constexpr int BufferSizeProperty = 5; // width, height of the window's buffers (also read from a buffer)
inline constexpr int PositionProperty = 35;  // x, y of the window on the display
inline constexpr int SizeProperty = 40;      // width, height; a new window's is the display's
inline constexpr int ZOrderProperty = 54;

// Buffer properties.
inline constexpr int PointerProperty = 34; // the first pixel
inline constexpr int StrideProperty = 44;  // bytes from one row to the next

// Event properties.
inline constexpr int TypeProperty = 47;
inline constexpr int SourcePositionProperty = 41; // x, y of a touch in window coordinates
// The touch point's identifier (0: the first finger). Not the header's
// SCREEN_PROPERTY_TOUCH_ID: older Screen headers give that name 73, and the
// printer's compositor reports the identifier as property 112.
inline constexpr int TouchIdProperty = 112;

// Event types.
inline constexpr int NoEvent = 0;
inline constexpr int TouchDownEvent = 100; // a finger going down; moves and releases are other types

} // namespace ScreenCodes
