#pragma once

#include "CallbackGate.h"
#include "OSTimerFactory.h"
#include "SupervisorLifecycle.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class Event;
class FileSystemWatcher;
class OSTimer;
class RadioFlashMonitorUi;
class SimpleEvent;
class Thread;
class ThreadFactory;

// The supervisor of RadioFlashMonitor: puts the in-progress page up, watches
// "/ramdisk/" for the upgrade script's marker files, shows the success or
// failure page and restarts the printer 15000 ms after the latest result.
//
// Threads: the file system watcher's callback turns a marker into a bit on
// the control event (1 stop, 2 success, 4 failure); the event thread
// ("RadioFlashMonitorEventThread", priority 3) waits on it, arms the one-shot
// restart timer and runs the result page, which may occupy it until the page
// is touched or a restart or stop ends its wait. The timer's notification
// thread ends a pending touch wait and restarts the system, which does not
// return on the printer. The lifecycle (SupervisorLifecycle), under one lock,
// decides between them: once the restart has begun, later results show no
// page and arm nothing; once a stop came, nothing shows or restarts.
//
// Lifetime: one mechanism, the callback gate. Every callback that another
// thread runs (marker, restart, exit notification) holds the supervisor by
// a raw pointer inside a pass of the gate and never by a reference, so the
// last reference is always an owner's; the destructor closes the gate first,
// and from then on no callback reaches the supervisor.
class RadioFlashMonitor
{
    struct CreateKey
    {
        explicit CreateKey() = default;
    };

public:
    static constexpr unsigned int StopBit = 1;
    static constexpr unsigned int SuccessBit = 2;
    static constexpr unsigned int FailureBit = 4;
    static constexpr unsigned int RestartDelayMs = 15000;

    // What the program uses, and what tests replace: a shorter delay, an
    // action of their own (so that no test outside the simulated printer
    // restarts it), timers the system refuses, another start of the run.
    struct Settings
    {
        unsigned int restartDelayMs = RestartDelayMs;
        // Runs on the timer's notification thread after the page's touch
        // wait was ended; empty: Reboot. It may release the supervisor.
        std::function<void()> restartAction;
        // Makes the restart timer; empty: the system's timers.
        std::unique_ptr<OSTimerFactory> timerFactory;
        // Markers found in the directory at the start count as this run's
        // results when changed in this second (of the real-time clock) or
        // later; empty: the second the process started.
        std::optional<std::time_t> runStart;
    };

    // Builds, wires and starts the supervisor: the in-progress page is on
    // screen, the watcher and the event thread run, the restart timer is not
    // armed. Markers already in the directory that this run made (see
    // Settings::runStart) count as if created now; older ones are left
    // alone. The thread factory is used during construction and not kept.
    // number (the -p option) is accepted and not used.
    //
    // Null when the supervisor could not do its work, and then nothing of it
    // is left (the page is gone again): the system refused the restart timer,
    // the event thread or the watcher's thread, or "/ramdisk/" cannot be
    // watched. Allocation failures throw.
    static std::shared_ptr<RadioFlashMonitor> Create(const std::shared_ptr<ThreadFactory>& threadFactory,
                                                     bool autoConfirm, bool recoveryMode, std::uint32_t number);
    static std::shared_ptr<RadioFlashMonitor> Create(const std::shared_ptr<ThreadFactory>& threadFactory,
                                                     bool autoConfirm, bool recoveryMode, std::uint32_t number,
                                                     Settings settings);

    // The notification for the exit-signal watcher: Exit on the supervisor
    // while it lives; nothing once its destruction has begun.
    static std::function<void(int)> ExitNotification(const std::shared_ptr<RadioFlashMonitor>& supervisor);

    // Which control bit a created path stands for: SuccessBit when it
    // contains "wifi.started", else FailureBit when it contains
    // "wifiupgrade.failed", else 0. Case-sensitive substring match.
    static unsigned int MarkerBits(const std::wstring& path);

    RadioFlashMonitor(CreateKey, const std::shared_ptr<ThreadFactory>& threadFactory, bool autoConfirm,
                      bool recoveryMode, std::uint32_t number, Settings settings);
    // In this order: closes the callback gate, waiting for a callback inside
    // it (a restart under way, which on the printer does not return, so
    // that destruction then lasts until the machine goes down); stops as
    // Exit does; signals the stop bit and waits for the event thread, whose
    // page wait the stop ends within about a second; then releases the
    // timer, the watcher, the screen, the events and the thread. Once it
    // returns, no callback of the supervisor runs or will run. It may run on
    // any thread, also inside the restart action.
    virtual ~RadioFlashMonitor();

    RadioFlashMonitor(const RadioFlashMonitor&) = delete;
    RadioFlashMonitor& operator=(const RadioFlashMonitor&) = delete;

    // Stops: no result page and no restart from now on (a restart under way
    // is not undone), ends a page's touch wait, and signals the exit event,
    // which WaitForExit waits for.
    void Exit();
    void WaitForExit();
    void OnUpgradeSuccess();
    void OnUpgradeFail();
    // Takes a result on the calling thread: arms the restart timer, then
    // shows the result page until it is touched or a restart or stop ends its
    // wait. Does nothing once the restart has begun or a stop came.
    void CompleteUpgrade(bool succeeded);
    // Restarts the system through the OS utilities, without leaving the
    // screen first. Does not return on the printer.
    void Reboot();

private:
    // What a result leads to.
    enum class ResultStep
    {
        ShowPage,
        // The timer refused to be armed: the restart comes now, not never.
        RestartNow,
        Nothing
    };

    static void* UpgraderThreadBootstrap(void* self);
    // What the constructor cannot report: true when every part runs.
    bool Start();
    void UpgraderThread();
    void OnCreatedFile(const std::wstring& path);
    // Signals the bits of the markers of this run already in the directory.
    void ReportMarkersPresent(std::time_t runStart);
    ResultStep TakeResult();
    void OnRestartDue();
    void RestartAction();

    std::unique_ptr<Thread> eventThread;
    std::unique_ptr<OSTimerFactory> timerFactory;
    std::unique_ptr<OSTimer> restartTimer;
    std::unique_ptr<Event> controlEvent;
    std::unique_ptr<SimpleEvent> threadFinishedEvent;
    std::unique_ptr<SimpleEvent> exitEvent;
    std::unique_ptr<FileSystemWatcher> fileSystemWatcher;
    std::unique_ptr<RadioFlashMonitorUi> ui;
    bool recoveryMode;
    // Admits the callbacks of other threads until destruction begins.
    std::shared_ptr<CallbackGate> callbackGate;
    std::mutex lifecycleMutex;
    SupervisorLifecycle lifecycle;
    Settings settings;
};
