// Stands in for the QNX Screen compositor's state: contexts, windows, buffers, event queues and the virtual display.
#pragma once

#include <screen/host_display.h>
#include <screen/screen.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct _screen_event
{
    int type = SCREEN_EVENT_NONE;
    int touchId = 0;
    int sourcePosition[2] = {0, 0};
    int position[2] = {0, 0};
};

struct _screen_buffer
{
    _screen_window* window = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<unsigned char> pixels;
};

struct _screen_window
{
    _screen_context* context = nullptr;
    std::uint64_t sequence = 0; // creation order, breaks z-order ties
    int size[2] = {0, 0};
    int position[2] = {0, 0};
    int bufferSize[2] = {0, 0};
    int zorder = 0;
    std::vector<std::unique_ptr<_screen_buffer>> buffers;
    std::size_t nextRender = 0;
    // What the compositor took at the latest post (blue, green, red, alpha).
    bool shown = false;
    int shownWidth = 0;
    int shownHeight = 0;
    std::vector<unsigned char> shownPixels;
};

struct _screen_context
{
    std::deque<_screen_event> queue;
    std::condition_variable arrived;
    std::vector<std::unique_ptr<_screen_window>> windows;
};

// The whole compositor of this process. One mutex guards all of it; the
// instance lives until the process ends (it is never destroyed, so no
// thread can outlive it during exit).
class ScreenHost
{
public:
    static ScreenHost& Get();

    ScreenHost(const ScreenHost&) = delete;
    ScreenHost& operator=(const ScreenHost&) = delete;

    std::mutex mutex;
    std::condition_variable waiterArrived;
    int waiters = 0;
    std::uint64_t eventWaits = 0;

    std::set<const void*> contexts;
    std::set<const void*> windows;
    std::set<const void*> buffers;
    std::set<const void*> events;
    std::vector<std::unique_ptr<_screen_context>> ownedContexts;
    std::uint64_t nextSequence = 1;

    // Whether the touch driver and the compositor run; the slay stand-in
    // stops them (SlayChannel) for the rest of the process.
    bool touchRunning = true;
    bool displayRunning = true;

    int displayWidth = 1024;
    int displayHeight = 600;
    std::uint64_t postCount = 0;
    std::vector<int> lastPostRects;
    // Thread CPU time spent in screen_post_window; added to without the mutex.
    std::atomic<std::uint64_t> postCpuNs{0};

    // Call with the mutex held.
    void MarkDisplayChanged() { composed_ = false; }
    // The composed display, blue-green-red-alpha rows of displayWidth pixels.
    const std::vector<unsigned char>& ComposedLocked();
    // The topmost shown window under a display point, or null.
    _screen_window* WindowAtLocked(int x, int y);
    // Writes the composed display as a PNG; false when that failed.
    bool WritePngLocked(const std::string& path);
    // One frame shown: to the frame observer, and into the film when a film
    // folder was named.
    void FilmFrameLocked();
    host_screen_frame_observer frameObserver = nullptr;
    void* frameObserverContext = nullptr;
    // Films later posts into folder (empty: stop); false when it cannot be made.
    // While filming, the process holds a shared lock on the folder's
    // display.lock, which the kernel drops when the process ends however it
    // ends: a viewer that cannot take the lock exclusively knows that a
    // display still films there.
    bool SetFilmFolderLocked(const std::string& folder);
    // The compositor ends: every window and buffer is gone, the display
    // shows black (filmed as a frame), event waits end and no context,
    // window or event can be had any more. False when it had ended already.
    bool StopDisplayLocked();
    static constexpr std::size_t MaxQueuedEvents = 1024;

private:
    ScreenHost();

    bool composed_ = false;
    std::vector<unsigned char> display_;
    std::string filmFolder_;
    unsigned filmNext_ = 1;
    int filmLock_ = -1;
};

// The socket through which the slay stand-in stops the touch input or the
// display (SlayChannel). Opened with the first context, closed with the last.
namespace SlayEndpoint {
void ContextCreated();
void ContextDestroyed();
} // namespace SlayEndpoint

// The named pipe through which a person or a script touches the display.
// Started with the first context and stopped with the last one.
namespace TouchPipe {
void ContextCreated();
void ContextDestroyed();
} // namespace TouchPipe
