// Host side of the QNX Screen stand-in: what tests and tools use to look at the virtual display and to touch it.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The virtual display is 1024 x 600 unless the environment variable
// UPGRADE_SCREEN_DISPLAY says otherwise ("WIDTHxHEIGHT", e.g. "1280x800").
// When UPGRADE_SCREEN_FILM names a folder, every successful post also
// writes the displayed frame there as frame-NNNNN.png, and the process holds
// a shared flock on the folder's display.lock while it films (a viewer that
// can lock it exclusively knows that no display films there any more). When
// UPGRADE_SCREEN_TOUCH names a path, a named pipe there (created when
// missing, removed again when this process created it) takes lines
// "x y" or "x y id" in display pixels while a context exists; each line is a
// finger going down and up again at that point.
//
// The display composes, in z-order, each window's content as of its latest
// post. Pixels are read back as 0xRRGGBB. All calls are thread-safe.

void host_screen_display_size(int* width, int* height);
// Only while no window exists; 0 on success, -1 otherwise.
int host_screen_set_display_size(int width, int height);

// The displayed colour at (x, y), 0xRRGGBB; 0 outside the display.
uint32_t host_screen_display_pixel(int x, int y);
// Copies a w x h area into rgb (row by row); -1 when it is not inside the display.
int host_screen_read_display(int x, int y, int w, int h, uint32_t* rgb);
// Writes the displayed frame as an 8-bit RGB PNG; 0 on success, -1 otherwise.
int host_screen_write_display_png(const char* path);

// Films every later post into folder (created when missing); null or ""
// stops filming. 0 on success, -1 when the folder cannot be made.
int host_screen_set_film_folder(const char* folder);

// Called with every frame the display shows from now on, as filming would
// write it: after each successful post, when a shown window goes and when
// the compositor stops. It runs on the thread that changed the display,
// with the display locked: it may only look at the pixels (blue, green,
// red, alpha bytes, width x height, row by row) and must not call into the
// display. Null removes it; the last one set is the one called.
typedef void (*host_screen_frame_observer)(void* context, const unsigned char* bgra, int width, int height);
void host_screen_observe_frames(host_screen_frame_observer observer, void* context);

// Successful posts so far, in all contexts.
uint64_t host_screen_post_count(void);
// Processor time (thread CPU time, nanoseconds) that calls of
// screen_post_window have spent inside the stand-in so far, summed over all
// threads. On the printer the compositor shows the posted buffer without
// this work; benchmarks subtract it to measure the program's own share.
uint64_t host_screen_post_cpu_ns(void);
// The dirty rectangles of the latest successful post: copies up to max
// quadruples into rects and returns their number (0: the whole buffer).
int host_screen_last_post_rects(int* rects, int max);
int host_screen_window_count(void);
int host_screen_context_count(void);

// Queues an event of the given type (SCREEN_EVENT_MTOUCH_...) for the
// topmost shown window under display point (x, y), with the point in that
// window's coordinates as its source position. -1 when no window is there.
int host_screen_inject_touch(int type, int x, int y, int touch_id);
// A finger going down and up again at (x, y).
int host_screen_press(int x, int y, int touch_id);
// Calls of screen_get_event that were allowed to wait (time-out other than 0).
uint64_t host_screen_event_waits(void);
// Waits until some thread waits for events with a time-out other than 0;
// 1 when one does, 0 when timeout_ms passed first.
int host_screen_wait_for_event_waiter(int timeout_ms);
// Waits until every queued event has been taken and some thread waits for
// events again (time-out other than 0): the events sent so far did not end
// its wait. 1 when so, 0 when timeout_ms passed first.
int host_screen_wait_for_events_taken(int timeout_ms);

// The slay stand-in (host/slay) stops the touch input and the compositor of
// the program that ran it, as slay does on the printer. Touch input stopped:
// touches from tests and the pipe are no longer delivered. Compositor
// stopped: every window is gone, the display shows black (a black frame is
// filmed), and no context or window can be created, nor an event had, until
// the process ends. 1 while running, 0 once stopped.
int host_screen_display_running(void);
int host_screen_touch_running(void);
// For tests only: both run again, as after a restart of the printer, so that
// later tests of the same process find a working display. Windows that were
// gone stay gone.
void host_screen_restart_services(void);

#ifdef __cplusplus
}
#endif
