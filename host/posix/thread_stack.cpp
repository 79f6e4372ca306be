// Stands in for the printer's default thread stack: threads without a size of their own get the printer's, not Linux's
// stack limit.
#include <host_threads.h>

#include <link.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// The static thread-local storage of the program and the libraries loaded
// with it, which the C library places at the top of each thread's stack.
size_t StaticTlsBytes()
{
    size_t total = 0;
    dl_iterate_phdr(
        [](dl_phdr_info* module, size_t, void* sum) {
            for (ElfW(Half) i = 0; i < module->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = module->dlpi_phdr[i];
                if (segment.p_type == PT_TLS) {
                    const size_t align = segment.p_align > 0 ? segment.p_align : 1;
                    *static_cast<size_t*>(sum) += (segment.p_memsz + align - 1) / align * align;
                }
            }
            return 0;
        },
        &total);
    return total;
}

size_t DefaultStackBytes()
{
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return (HOST_PRINTER_THREAD_STACK + StaticTlsBytes() + page - 1) / page * page;
}

// Set while the stand-ins' library is loaded: after the libraries it needs
// (so their storage is counted), before main and before any thread.
[[maybe_unused]] const bool defaultSet = [] {
    pthread_attr_t attributes;
    if (pthread_getattr_default_np(&attributes) != 0) {
        return false;
    }
    const bool set = pthread_attr_setstacksize(&attributes, DefaultStackBytes()) == 0 &&
                     pthread_setattr_default_np(&attributes) == 0;
    pthread_attr_destroy(&attributes);
    return set;
}();

} // namespace

size_t host_thread_default_stack(void)
{
    pthread_attr_t attributes;
    if (pthread_getattr_default_np(&attributes) != 0) {
        return 0;
    }
    size_t bytes = 0;
    pthread_attr_getstacksize(&attributes, &bytes);
    pthread_attr_destroy(&attributes);
    return bytes;
}
