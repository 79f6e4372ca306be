// Stands in for QNX Screen's client calls (libscreen): contexts, windows, buffers, posts and events.
#include "ScreenHost.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace {
constexpr int MaxBufferSide = 8192;
constexpr int MaxWindowBuffers = 8;

int Fail(int error)
{
    errno = error;
    return -1;
}

template <typename T>
bool Known(const std::set<const void*>& registry, T* handle)
{
    return handle != nullptr && registry.count(handle) != 0;
}

// Rows are padded, as a display controller's alignment would, so that code
// which ignores the stride shows up on the virtual display.
int StrideFor(int width)
{
    const int bytes = width * 4;
    return (bytes + 63) / 64 * 64 + 64;
}

void Unregister(ScreenHost& host, _screen_window& window)
{
    for (const auto& buffer : window.buffers) {
        host.buffers.erase(buffer.get());
    }
    host.windows.erase(&window);
}

std::uint64_t ThreadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000ULL + static_cast<std::uint64_t>(now.tv_nsec);
}

// Takes the area (x, y, w, h) of buf, cut to its size, into what the window shows.
void TakeArea(_screen_window& window, const _screen_buffer& buf, int x, int y, int w, int h)
{
    const int x0 = std::max(0, x);
    const int y0 = std::max(0, y);
    const long long x1 = std::min<long long>(buf.width, static_cast<long long>(x) + w);
    const long long y1 = std::min<long long>(buf.height, static_cast<long long>(y) + h);
    if (w <= 0 || h <= 0 || x1 <= x0 || y1 <= y0) {
        return;
    }
    const std::size_t bytes = static_cast<std::size_t>(x1 - x0) * 4;
    for (int row = y0; row < y1; ++row) {
        const unsigned char* src = buf.pixels.data() +
                                   static_cast<std::size_t>(row) * static_cast<std::size_t>(buf.stride) +
                                   static_cast<std::size_t>(x0) * 4;
        unsigned char* dst =
            window.shownPixels.data() + (static_cast<std::size_t>(row) * static_cast<std::size_t>(window.shownWidth) +
                                         static_cast<std::size_t>(x0)) *
                                            4;
        std::memcpy(dst, src, bytes);
    }
}

// What the compositor does with a post: takes the posted area into what the window shows.
int PostWindow(ScreenHost& host, screen_window_t win, screen_buffer_t buf, int count, const int* dirty_rects)
{
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.windows, win) || !Known(host.buffers, buf) || buf->window != win || count < 0 ||
        (count > 0 && dirty_rects == nullptr)) {
        return Fail(EINVAL);
    }

    // The first post, or one with a buffer of another size, shows all of it.
    const bool whole = count == 0 || !win->shown || win->shownWidth != buf->width || win->shownHeight != buf->height;
    if (win->shownWidth != buf->width || win->shownHeight != buf->height) {
        win->shownWidth = buf->width;
        win->shownHeight = buf->height;
        win->shownPixels.assign(static_cast<std::size_t>(buf->width) * static_cast<std::size_t>(buf->height) * 4, 0);
    }
    if (whole) {
        TakeArea(*win, *buf, 0, 0, buf->width, buf->height);
    } else {
        for (int i = 0; i < count; ++i) {
            const int* r = dirty_rects + 4 * i;
            TakeArea(*win, *buf, r[0], r[1], r[2], r[3]);
        }
    }
    win->shown = true;
    host.lastPostRects.assign(dirty_rects, dirty_rects + 4 * count);
    ++host.postCount;
    host.MarkDisplayChanged();
    host.FilmFrameLocked();
    return 0;
}
} // namespace

extern "C" int screen_create_context(screen_context_t* pctx, int)
{
    if (pctx == nullptr) {
        return Fail(EINVAL);
    }
    ScreenHost& host = ScreenHost::Get();
    {
        std::lock_guard<std::mutex> lock(host.mutex);
        if (!host.displayRunning) {
            return Fail(EIO);
        }
        host.ownedContexts.push_back(std::make_unique<_screen_context>());
        *pctx = host.ownedContexts.back().get();
        host.contexts.insert(*pctx);
    }
    TouchPipe::ContextCreated();
    SlayEndpoint::ContextCreated();
    return 0;
}

extern "C" int screen_destroy_context(screen_context_t ctx)
{
    ScreenHost& host = ScreenHost::Get();
    {
        std::lock_guard<std::mutex> lock(host.mutex);
        if (!Known(host.contexts, ctx)) {
            return Fail(EINVAL);
        }
        bool wasShown = false;
        for (const auto& window : ctx->windows) {
            wasShown = wasShown || window->shown;
            Unregister(host, *window);
        }
        host.contexts.erase(ctx);
        host.ownedContexts.erase(std::find_if(host.ownedContexts.begin(), host.ownedContexts.end(),
                                              [ctx](const auto& owned) { return owned.get() == ctx; }));
        if (wasShown) {
            host.MarkDisplayChanged();
            host.FilmFrameLocked();
        }
    }
    SlayEndpoint::ContextDestroyed();
    TouchPipe::ContextDestroyed();
    return 0;
}

extern "C" int screen_create_window(screen_window_t* pwin, screen_context_t ctx)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (pwin == nullptr || !Known(host.contexts, ctx)) {
        return Fail(EINVAL);
    }
    if (!host.displayRunning) {
        return Fail(EIO);
    }
    auto window = std::make_unique<_screen_window>();
    window->context = ctx;
    window->sequence = host.nextSequence++;
    window->size[0] = window->bufferSize[0] = host.displayWidth;
    window->size[1] = window->bufferSize[1] = host.displayHeight;
    *pwin = window.get();
    host.windows.insert(window.get());
    ctx->windows.push_back(std::move(window));
    return 0;
}

extern "C" int screen_destroy_window(screen_window_t win)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.windows, win)) {
        return Fail(EINVAL);
    }
    const bool wasShown = win->shown;
    Unregister(host, *win);
    auto& list = win->context->windows;
    list.erase(std::find_if(list.begin(), list.end(), [win](const auto& owned) { return owned.get() == win; }));
    if (wasShown) {
        host.MarkDisplayChanged();
        host.FilmFrameLocked();
    }
    return 0;
}

extern "C" int screen_get_window_property_iv(screen_window_t win, int pname, int* param)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.windows, win) || param == nullptr) {
        return Fail(EINVAL);
    }
    switch (pname) {
    case SCREEN_PROPERTY_SIZE:
        std::copy(win->size, win->size + 2, param);
        return 0;
    case SCREEN_PROPERTY_POSITION:
        std::copy(win->position, win->position + 2, param);
        return 0;
    case SCREEN_PROPERTY_BUFFER_SIZE:
        std::copy(win->bufferSize, win->bufferSize + 2, param);
        return 0;
    case SCREEN_PROPERTY_ZORDER:
        *param = win->zorder;
        return 0;
    default:
        return Fail(EINVAL);
    }
}

extern "C" int screen_set_window_property_iv(screen_window_t win, int pname, const int* param)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.windows, win) || param == nullptr) {
        return Fail(EINVAL);
    }
    switch (pname) {
    case SCREEN_PROPERTY_SIZE:
        if (param[0] < 1 || param[1] < 1) {
            return Fail(EINVAL);
        }
        std::copy(param, param + 2, win->size);
        break;
    case SCREEN_PROPERTY_POSITION:
        std::copy(param, param + 2, win->position);
        break;
    case SCREEN_PROPERTY_BUFFER_SIZE:
        if (param[0] < 1 || param[1] < 1 || param[0] > MaxBufferSide || param[1] > MaxBufferSide) {
            return Fail(EINVAL);
        }
        std::copy(param, param + 2, win->bufferSize);
        break;
    case SCREEN_PROPERTY_ZORDER:
        win->zorder = *param;
        break;
    default:
        return Fail(EINVAL);
    }
    host.MarkDisplayChanged();
    return 0;
}

extern "C" int screen_create_window_buffers(screen_window_t win, int count)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.windows, win) || count < 1 || count > MaxWindowBuffers || !win->buffers.empty()) {
        return Fail(EINVAL);
    }
    for (int i = 0; i < count; ++i) {
        auto buffer = std::make_unique<_screen_buffer>();
        buffer->window = win;
        buffer->width = win->bufferSize[0];
        buffer->height = win->bufferSize[1];
        buffer->stride = StrideFor(buffer->width);
        buffer->pixels.assign(static_cast<std::size_t>(buffer->stride) * static_cast<std::size_t>(buffer->height), 0);
        host.buffers.insert(buffer.get());
        win->buffers.push_back(std::move(buffer));
    }
    win->nextRender = 0;
    return 0;
}

extern "C" int screen_destroy_window_buffers(screen_window_t win)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.windows, win)) {
        return Fail(EINVAL);
    }
    for (const auto& buffer : win->buffers) {
        host.buffers.erase(buffer.get());
    }
    win->buffers.clear();
    return 0;
}

extern "C" int screen_dequeue_window_render_buffer(screen_buffer_t* pbuf, screen_window_t win, int)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (pbuf == nullptr || !Known(host.windows, win) || win->buffers.empty()) {
        return Fail(EINVAL);
    }
    *pbuf = win->buffers[win->nextRender % win->buffers.size()].get();
    ++win->nextRender;
    return 0;
}

extern "C" int screen_get_buffer_property_iv(screen_buffer_t buf, int pname, int* param)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.buffers, buf) || param == nullptr) {
        return Fail(EINVAL);
    }
    switch (pname) {
    case SCREEN_PROPERTY_STRIDE:
        *param = buf->stride;
        return 0;
    case SCREEN_PROPERTY_BUFFER_SIZE:
        param[0] = buf->width;
        param[1] = buf->height;
        return 0;
    default:
        return Fail(EINVAL);
    }
}

extern "C" int screen_get_buffer_property_pv(screen_buffer_t buf, int pname, void** param)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.buffers, buf) || param == nullptr || pname != SCREEN_PROPERTY_POINTER) {
        return Fail(EINVAL);
    }
    *param = buf->pixels.data();
    return 0;
}

extern "C" int screen_destroy_buffer(screen_buffer_t buf)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.buffers, buf)) {
        return Fail(EINVAL);
    }
    host.buffers.erase(buf);
    auto& list = buf->window->buffers;
    list.erase(std::find_if(list.begin(), list.end(), [buf](const auto& owned) { return owned.get() == buf; }));
    return 0;
}

extern "C" int screen_post_window(screen_window_t win, screen_buffer_t buf, int count, const int* dirty_rects, int)
{
    ScreenHost& host = ScreenHost::Get();
    const std::uint64_t start = ThreadCpuNs();
    const int result = PostWindow(host, win, buf, count, dirty_rects);
    host.postCpuNs.fetch_add(ThreadCpuNs() - start, std::memory_order_relaxed);
    return result;
}

extern "C" int screen_create_event(screen_event_t* pev)
{
    if (pev == nullptr) {
        return Fail(EINVAL);
    }
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    *pev = new _screen_event();
    host.events.insert(*pev);
    return 0;
}

extern "C" int screen_destroy_event(screen_event_t ev)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.events, ev)) {
        return Fail(EINVAL);
    }
    host.events.erase(ev);
    delete ev;
    return 0;
}

extern "C" int screen_get_event(screen_context_t ctx, screen_event_t ev, uint64_t timeout)
{
    ScreenHost& host = ScreenHost::Get();
    std::unique_lock<std::mutex> lock(host.mutex);
    if (!Known(host.contexts, ctx) || !Known(host.events, ev)) {
        return Fail(EINVAL);
    }
    const auto ready = [ctx, &host] { return !ctx->queue.empty() || !host.displayRunning; };
    if (!ready() && timeout != 0) {
        ++host.waiters;
        ++host.eventWaits;
        host.waiterArrived.notify_all();
        // Waits beyond a day count as for ever; they also keep the deadline from overflowing.
        constexpr uint64_t Day = 86400ULL * 1000000000ULL;
        if (timeout >= Day) {
            ctx->arrived.wait(lock, ready);
        } else {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::nanoseconds(timeout);
            ctx->arrived.wait_until(lock, deadline, ready);
        }
        --host.waiters;
    }
    if (!host.displayRunning) {
        return Fail(EIO);
    }
    if (ctx->queue.empty()) {
        *ev = _screen_event();
    } else {
        *ev = ctx->queue.front();
        ctx->queue.pop_front();
    }
    return 0;
}

extern "C" int screen_get_event_property_iv(screen_event_t ev, int pname, int* param)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.events, ev) || param == nullptr) {
        return Fail(EINVAL);
    }
    switch (pname) {
    case SCREEN_PROPERTY_TYPE:
        *param = ev->type;
        return 0;
    case SCREEN_PROPERTY_TOUCH_ID:
        *param = ev->touchId;
        return 0;
    case SCREEN_PROPERTY_SOURCE_POSITION:
        std::copy(ev->sourcePosition, ev->sourcePosition + 2, param);
        return 0;
    case SCREEN_PROPERTY_POSITION:
        std::copy(ev->position, ev->position + 2, param);
        return 0;
    default:
        return Fail(EINVAL);
    }
}

extern "C" int screen_set_event_property_iv(screen_event_t ev, int pname, const int* param)
{
    ScreenHost& host = ScreenHost::Get();
    std::lock_guard<std::mutex> lock(host.mutex);
    if (!Known(host.events, ev) || param == nullptr) {
        return Fail(EINVAL);
    }
    switch (pname) {
    case SCREEN_PROPERTY_TYPE:
        ev->type = *param;
        return 0;
    case SCREEN_PROPERTY_TOUCH_ID:
        ev->touchId = *param;
        return 0;
    case SCREEN_PROPERTY_SOURCE_POSITION:
        std::copy(param, param + 2, ev->sourcePosition);
        return 0;
    case SCREEN_PROPERTY_POSITION:
        std::copy(param, param + 2, ev->position);
        return 0;
    default:
        return Fail(EINVAL);
    }
}
