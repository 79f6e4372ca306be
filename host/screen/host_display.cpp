// Stands in for looking at and touching the printer's LCD: the host-only calls of the virtual display.
#include "ScreenHost.h"

#include <screen/host_display.h>

#include <algorithm>
#include <chrono>

extern "C" void host_screen_display_size(int* width, int* height)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (width != nullptr) {
        *width = host.displayWidth;
    }
    if (height != nullptr) {
        *height = host.displayHeight;
    }
}

extern "C" int host_screen_set_display_size(int width, int height)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!host.windows.empty() || width < 1 || height < 1 || width > 8192 || height > 8192) {
        return -1;
    }
    host.displayWidth = width;
    host.displayHeight = height;
    host.MarkDisplayChanged();
    return 0;
}

extern "C" int host_screen_read_display(int x, int y, int w, int h, uint32_t* rgb)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (rgb == nullptr || x < 0 || y < 0 || w < 0 || h < 0 || x > host.displayWidth - w || y > host.displayHeight - h) {
        return -1;
    }
    const std::vector<unsigned char>& display = host.ComposedLocked();
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const unsigned char* p =
                display.data() + (static_cast<std::size_t>(y + row) * static_cast<std::size_t>(host.displayWidth) +
                                  static_cast<std::size_t>(x + col)) *
                                     4;
            *rgb++ = (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
        }
    }
    return 0;
}

extern "C" uint32_t host_screen_display_pixel(int x, int y)
{
    uint32_t rgb = 0;
    return host_screen_read_display(x, y, 1, 1, &rgb) == 0 ? rgb : 0;
}

extern "C" int host_screen_write_display_png(const char* path)
{
    if (path == nullptr) {
        return -1;
    }
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    return host.WritePngLocked(path) ? 0 : -1;
}

extern "C" void host_screen_observe_frames(host_screen_frame_observer observer, void* context)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    host.frameObserver = observer;
    host.frameObserverContext = context;
}

extern "C" uint64_t host_screen_post_count(void)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    return host.postCount;
}

extern "C" uint64_t host_screen_post_cpu_ns(void)
{
    return ScreenHost::Get().postCpuNs.load(std::memory_order_relaxed);
}

extern "C" int host_screen_last_post_rects(int* rects, int max)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    const int count = static_cast<int>(host.lastPostRects.size() / 4);
    for (int i = 0; rects != nullptr && i < count && i < max; ++i) {
        for (int k = 0; k < 4; ++k) {
            rects[4 * i + k] = host.lastPostRects[static_cast<std::size_t>(4 * i + k)];
        }
    }
    return count;
}

extern "C" int host_screen_window_count(void)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    return static_cast<int>(host.windows.size());
}

extern "C" int host_screen_context_count(void)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    return static_cast<int>(host.contexts.size());
}

extern "C" int host_screen_inject_touch(int type, int x, int y, int touch_id)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!host.touchRunning) {
        return -1;
    }
    _screen_window* window = host.WindowAtLocked(x, y);
    if (window == nullptr) {
        return -1;
    }
    _screen_context* context = window->context;
    if (context->queue.size() >= ScreenHost::MaxQueuedEvents) {
        return -1;
    }
    _screen_event event;
    event.type = type;
    event.touchId = touch_id;
    event.sourcePosition[0] = event.position[0] = x - window->position[0];
    event.sourcePosition[1] = event.position[1] = y - window->position[1];
    context->queue.push_back(event);
    context->arrived.notify_all();
    return 0;
}

extern "C" int host_screen_press(int x, int y, int touch_id)
{
    if (host_screen_inject_touch(SCREEN_EVENT_MTOUCH_TOUCH, x, y, touch_id) != 0) {
        return -1;
    }
    host_screen_inject_touch(SCREEN_EVENT_MTOUCH_RELEASE, x, y, touch_id);
    return 0;
}

extern "C" int host_screen_wait_for_event_waiter(int timeout_ms)
{
    ScreenHost& host = ScreenHost::Get();
    std::unique_lock<std::mutex> lock(host.mutex);
    return host.waiterArrived.wait_for(lock, std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms),
                                       [&host] { return host.waiters > 0; })
               ? 1
               : 0;
}

extern "C" int host_screen_wait_for_events_taken(int timeout_ms)
{
    ScreenHost& host = ScreenHost::Get();
    std::unique_lock<std::mutex> lock(host.mutex);
    // A thread only waits once its queue is empty, so every arriving waiter
    // notifies waiterArrived after the events before it were taken.
    const auto taken = [&host] {
        return host.waiters > 0 && std::all_of(host.ownedContexts.begin(), host.ownedContexts.end(),
                                               [](const auto& context) { return context->queue.empty(); });
    };
    return host.waiterArrived.wait_for(lock, std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms), taken) ? 1 : 0;
}

extern "C" uint64_t host_screen_event_waits(void)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    return host.eventWaits;
}

extern "C" int host_screen_set_film_folder(const char* folder)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    return host.SetFilmFolderLocked(folder == nullptr ? std::string() : std::string(folder)) ? 0 : -1;
}

extern "C" int host_screen_display_running(void)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    return host.displayRunning ? 1 : 0;
}

extern "C" int host_screen_touch_running(void)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    return host.touchRunning ? 1 : 0;
}

extern "C" void host_screen_restart_services(void)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    host.touchRunning = true;
    host.displayRunning = true;
    host.MarkDisplayChanged();
}
