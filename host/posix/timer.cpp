// Stands in for the C library's thread notification of POSIX timers (SIGEV_THREAD), on kernel timers that signal one
// dispatcher thread.
//
// glibc runs SIGEV_THREAD callbacks on threads it creates internally, which
// the sanitizers cannot see (ThreadSanitizer crashes on them). Here the kernel
// timer stays the real one (same clock, same arming through timer_settime and
// timer_gettime); only its expiries reach a dispatcher thread created through
// the ordinary pthread_create, which starts one thread per expiry, as glibc does.
#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <mutex>

namespace {

using TimerCreateFn = int (*)(clockid_t, struct sigevent*, timer_t*);
using TimerDeleteFn = int (*)(timer_t);

// The signal the kernel sends the dispatcher on each expiry; directed at
// that thread alone, so no other thread's mask matters.
int ExpirySignal()
{
    return SIGRTMAX;
}

struct Notification
{
    void (*function)(sigval);
    sigval value;
    timer_t id;
};

// Timers are known by a key that is never reused, so that an expiry still
// queued for a deleted timer cannot reach a newer one.
struct Registry
{
    std::mutex mutex;
    std::map<std::uintptr_t, Notification> live;
    std::uintptr_t nextKey = 1;
    pid_t dispatcherTid = 0;
    pid_t dispatcherPid = 0;
};

Registry& TheRegistry()
{
    static Registry* registry = new Registry; // never destroyed: expiries may come during exit
    return *registry;
}

TimerCreateFn RealTimerCreate()
{
    static const TimerCreateFn real = reinterpret_cast<TimerCreateFn>(dlsym(RTLD_NEXT, "timer_create"));
    return real;
}

TimerDeleteFn RealTimerDelete()
{
    static const TimerDeleteFn real = reinterpret_cast<TimerDeleteFn>(dlsym(RTLD_NEXT, "timer_delete"));
    return real;
}

struct Expiry
{
    void (*function)(sigval);
    sigval value;
};

void* RunExpiry(void* arg)
{
    Expiry* expiry = static_cast<Expiry*>(arg);
    const Expiry copy = *expiry;
    delete expiry;
    copy.function(copy.value);
    return nullptr;
}

void* Dispatch(void* ready)
{
    Registry& registry = TheRegistry();
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.dispatcherTid = static_cast<pid_t>(syscall(SYS_gettid));
    }
    sem_post(static_cast<sem_t*>(ready));
    sigset_t wanted;
    sigemptyset(&wanted);
    sigaddset(&wanted, ExpirySignal());
    for (;;) {
        siginfo_t info;
        if (sigwaitinfo(&wanted, &info) != ExpirySignal()) {
            continue;
        }
        const auto key = reinterpret_cast<std::uintptr_t>(info.si_value.sival_ptr);
        Expiry* expiry = nullptr;
        {
            std::lock_guard<std::mutex> lock(registry.mutex);
            // An expiry queued before timer_delete finds its timer gone.
            const auto found = registry.live.find(key);
            if (found != registry.live.end()) {
                expiry = new Expiry{found->second.function, found->second.value};
            }
        }
        if (expiry == nullptr) {
            continue;
        }
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        if (pthread_create(&thread, &attr, &RunExpiry, expiry) != 0) {
            RunExpiry(expiry);
        }
        pthread_attr_destroy(&attr);
    }
    return nullptr;
}

// Starts the dispatcher once per process (a forked copy needs its own); its
// tid, or 0 when it could not be started.
pid_t DispatcherTid()
{
    static std::mutex startMutex;
    std::lock_guard<std::mutex> starting(startMutex);
    Registry& registry = TheRegistry();
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        if (registry.dispatcherTid != 0 && registry.dispatcherPid == getpid()) {
            return registry.dispatcherTid;
        }
        registry.dispatcherTid = 0;
    }
    sem_t ready;
    sem_init(&ready, 0, 0);
    sigset_t all, previous;
    sigfillset(&all);
    // The dispatcher inherits a mask that blocks everything, so its signal
    // stays pending for sigwaitinfo and no other signal lands there.
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, &Dispatch, &ready);
    pthread_attr_destroy(&attr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    pid_t started = 0;
    if (rc == 0) {
        while (sem_wait(&ready) != 0 && errno == EINTR) {
        }
        pthread_setname_np(thread, "TimerDispatch");
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.dispatcherPid = getpid();
        started = registry.dispatcherTid;
    }
    sem_destroy(&ready);
    return started;
}

} // namespace

extern "C" int timer_create(clockid_t clock, struct sigevent* event, timer_t* id)
{
    const TimerCreateFn real = RealTimerCreate();
    if (real == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    if (event == nullptr || event->sigev_notify != SIGEV_THREAD) {
        return real(clock, event, id);
    }
    const pid_t dispatcher = DispatcherTid();
    if (dispatcher == 0) {
        errno = EAGAIN;
        return -1;
    }
    Registry& registry = TheRegistry();
    std::uintptr_t key = 0;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        key = registry.nextKey++;
    }
    struct sigevent direct = {};
    direct.sigev_notify = SIGEV_THREAD_ID;
    direct.sigev_signo = ExpirySignal();
    direct.sigev_value.sival_ptr = reinterpret_cast<void*>(key);
    direct._sigev_un._tid = dispatcher; // sigev_notify_thread_id, which this C library does not name
    timer_t created{};
    if (real(clock, &direct, &created) != 0) {
        return -1;
    }
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.live[key] = Notification{event->sigev_notify_function, event->sigev_value, created};
    }
    *id = created;
    return 0;
}

extern "C" int timer_delete(timer_t id)
{
    const TimerDeleteFn real = RealTimerDelete();
    if (real == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    const int rc = real(id);
    if (rc == 0) {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        for (auto it = registry.live.begin(); it != registry.live.end(); ++it) {
            if (it->second.id == id) {
                registry.live.erase(it);
                break;
            }
        }
    }
    return rc;
}
