// Stands in for QNX Screen's <screen/screen.h>: contexts, windows, buffers and touch events.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _screen_context* screen_context_t;
typedef struct _screen_window* screen_window_t;
typedef struct _screen_buffer* screen_buffer_t;
typedef struct _screen_event* screen_event_t;

// Context types.
#define SCREEN_APPLICATION_CONTEXT 0

// Property names, by the compositor's numbering.
#define SCREEN_PROPERTY_BUFFER_SIZE 5
#define SCREEN_PROPERTY_POINTER 34
#define SCREEN_PROPERTY_POSITION 35
#define SCREEN_PROPERTY_SIZE 40
#define SCREEN_PROPERTY_SOURCE_POSITION 41
#define SCREEN_PROPERTY_STRIDE 44
#define SCREEN_PROPERTY_TYPE 47
#define SCREEN_PROPERTY_ZORDER 54
#define SCREEN_PROPERTY_TOUCH_ID 112

// Event types.
#define SCREEN_EVENT_NONE 0
#define SCREEN_EVENT_MTOUCH_TOUCH 100
#define SCREEN_EVENT_MTOUCH_MOVE 101
#define SCREEN_EVENT_MTOUCH_RELEASE 102

// Every call returns 0 on success and -1 with errno set on failure
// (EINVAL for an unknown handle, property or argument).

int screen_create_context(screen_context_t* pctx, int flags);
// Also destroys the context's windows, their buffers and its queued events.
// Not while another thread waits in screen_get_event on it.
int screen_destroy_context(screen_context_t ctx);

// A new window covers the whole display (its size property is the display's
// size) until the caller sets another size; it is shown from its first post.
int screen_create_window(screen_window_t* pwin, screen_context_t ctx);
int screen_destroy_window(screen_window_t win);
int screen_get_window_property_iv(screen_window_t win, int pname, int* param);
int screen_set_window_property_iv(screen_window_t win, int pname, const int* param);
// Buffers get the window's buffer size property and the default 32-bit
// format: 4 bytes per pixel in the order blue, green, red, alpha.
int screen_create_window_buffers(screen_window_t win, int count);
int screen_destroy_window_buffers(screen_window_t win);
// The window's next render buffer (with one buffer: always the same one).
int screen_dequeue_window_render_buffer(screen_buffer_t* pbuf, screen_window_t win, int flags);

int screen_get_buffer_property_iv(screen_buffer_t buf, int pname, int* param);
int screen_get_buffer_property_pv(screen_buffer_t buf, int pname, void** param);
// Releases the handle of a window buffer; the pixels go with the window.
int screen_destroy_buffer(screen_buffer_t buf);

// Shows buf in win. count quadruples x, y, w, h name the areas that changed;
// count 0 means the whole buffer.
int screen_post_window(screen_window_t win, screen_buffer_t buf, int count, const int* dirty_rects, int flags);

int screen_create_event(screen_event_t* pev);
int screen_destroy_event(screen_event_t ev);
// Takes the oldest event queued for ctx, waiting up to timeout nanoseconds
// (0: not at all; a day or more: until one comes). When none came, ev's type is SCREEN_EVENT_NONE and the
// call still succeeds.
int screen_get_event(screen_context_t ctx, screen_event_t ev, uint64_t timeout);
int screen_get_event_property_iv(screen_event_t ev, int pname, int* param);
int screen_set_event_property_iv(screen_event_t ev, int pname, const int* param);

#ifdef __cplusplus
}
#endif
