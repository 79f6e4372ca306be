#pragma once

#include "CallbackGate.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class Event;
class FileSystemWatcher;
class OSTimer;
class OSTimerFactory;
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
// is touched or the restart ends its wait. The timer's notification thread
// ends a pending touch wait and restarts the system, which does not return
// on the printer.
//
// Ownership: made only by Create, in one shared allocation. Callbacks on
// other threads hold it by weak reference inside a CallbackGate; the owner
// gives up the last reference with Release, on its own thread, so that the
// destructor never runs on a thread it joins.
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

    // What the restart timer does. The program's: RestartDelayMs after each
    // result, then Reboot. Tests choose a shorter delay and an action of
    // their own, so that no test outside the simulated printer restarts it.
    struct RestartSettings
    {
        unsigned int delayMs = RestartDelayMs;
        // Runs on the timer's notification thread after the page's touch
        // wait was ended; empty: Reboot.
        std::function<void()> action;
    };

    // Builds, wires and starts the supervisor: the in-progress page is on
    // screen, the watcher and the event thread run, the restart timer is not
    // armed. Markers already in the directory count as if created now. The thread factory is used during construction
    // and not kept. number (the -p option) is accepted and not used. Allocation failures throw.
    static std::shared_ptr<RadioFlashMonitor> Create(const std::shared_ptr<ThreadFactory>& threadFactory,
                                                     bool autoConfirm, bool recoveryMode, std::uint32_t number);
    static std::shared_ptr<RadioFlashMonitor> Create(const std::shared_ptr<ThreadFactory>& threadFactory,
                                                     bool autoConfirm, bool recoveryMode, std::uint32_t number,
                                                     RestartSettings restart);

    // Gives up the caller's reference, the last one, on the calling thread:
    // closes the callback gate (no callback uses the supervisor afterwards,
    // and any running one is waited for), then destroys the supervisor
    // here. Call it from a thread no callback of this supervisor runs on.
    static void Release(std::shared_ptr<RadioFlashMonitor> supervisor);

    // The notification for the exit-signal watcher: Exit on the supervisor
    // while it lives and its gate is open; nothing otherwise.
    static std::function<void(int)> ExitNotification(const std::shared_ptr<RadioFlashMonitor>& supervisor);

    // Which control bit a created path stands for: SuccessBit when it
    // contains "wifi.started", else FailureBit when it contains
    // "wifiupgrade.failed", else 0. Case-sensitive substring match.
    static unsigned int MarkerBits(const std::wstring& path);

    RadioFlashMonitor(CreateKey, const std::shared_ptr<ThreadFactory>& threadFactory, bool autoConfirm,
                      bool recoveryMode, std::uint32_t number, RestartSettings restart);
    // Stops the event thread (ending a pending touch wait), waits for a
    // running restart to finish (on the printer the restart does not return,
    // so that wait lasts until the machine goes down) and releases the timer
    // before the screen, then everything else.
    virtual ~RadioFlashMonitor();

    RadioFlashMonitor(const RadioFlashMonitor&) = delete;
    RadioFlashMonitor& operator=(const RadioFlashMonitor&) = delete;

    // Signals the exit event; WaitForExit blocks until it is signalled.
    void Exit();
    void WaitForExit();
    void OnUpgradeSuccess();
    void OnUpgradeFail();
    // Arms the restart timer, then shows the result page on the calling
    // thread: the synchronous form of the success and failure bits.
    void CompleteUpgrade(bool succeeded);
    // Restarts the system through the OS utilities, without leaving the
    // screen first. Does not return on the printer.
    void Reboot();

private:
    static void* UpgraderThreadBootstrap(void* self);
    void UpgraderThread();
    void OnCreatedFile(const std::wstring& path);
    // Signals the bits of the markers already in the watched directory.
    void ReportMarkersPresent();
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
    // Admits the watcher's and the exit-signal callbacks until Release.
    std::shared_ptr<CallbackGate> callbackGate;
    // Admits the restart callback until destruction has stopped the event
    // thread; closing it waits for a restart already running.
    std::shared_ptr<CallbackGate> restartGate;
    RestartSettings restart;
};
