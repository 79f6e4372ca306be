// Host-only side of the thread stand-in: the printer's default thread stack, which threads of a host build get.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// The stack the printer's system gives a thread started without a size of
// its own, in bytes: 256 KiB (docs/target.md says where the figure comes
// from and how to check it on a printer).
#define HOST_PRINTER_THREAD_STACK ((size_t)256 * 1024)

// The stack a thread started without a size of its own gets in this process:
// the printer's figure for its work, plus the room the host's C library takes
// at the top of every thread stack for static thread-local storage (a page
// in a plain build; most of a MiB under ThreadSanitizer), rounded up to
// whole pages. Made the process's default when the stand-ins are loaded,
// before main: it holds for pthread_create without attributes or with
// attributes that name no size, std::thread, and the threads of the
// stand-ins themselves. Threads that name a size keep it.
size_t host_thread_default_stack(void);

#ifdef __cplusplus
}
#endif
