// Stands in for the printer's process table as slay uses it: how the slay stand-in reaches the virtual display of the
// program that ran it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>

// The virtual display of a process (host/screen) listens on a Unix socket
// named after its process id, in a folder that only the user can enter. The
// slay stand-in connects only to the display of one of its own ancestors,
// and only after the socket's peer credentials name that very process; the
// display serves only connections from its own descendants. So a call can
// never reach another program, nor a display of this project that did not
// start it. In the sandbox the folder lies in its private /tmp.
//
// Requests and replies are one line each: the request names what to stop
// (StopTouch or StopDisplay); the reply says Stopped, or NotRunning when it
// had been stopped before.
namespace SlayChannel {

inline constexpr const char* StopTouch = "mtouch";
inline constexpr const char* StopDisplay = "screen";
inline constexpr const char* Stopped = "stopped";
inline constexpr const char* NotRunning = "not running";

// "/tmp/upgrade-screen-<effective uid>".
std::string Folder();
// Creates the folder when it is missing; true when it is private: a
// directory (not a link) owned by the effective user, closed to others.
bool PrepareFolder();
bool FolderIsPrivate();
// The endpoint of the display of process pid.
std::string EndpointPath(pid_t pid);
// pid's parent as /proc tells it; 0 when pid is gone or unreadable.
pid_t ParentOf(pid_t pid);
// True when descendant is ancestor itself or one of its descendants.
bool DescendsFrom(pid_t descendant, pid_t ancestor);

// One line from a connected socket, without its line end, read within
// timeout of the call; empty when none came in time, the other side closed
// or the line ran past maxLength.
std::string ReceiveLine(int socket, std::chrono::milliseconds timeout, std::size_t maxLength);

} // namespace SlayChannel
