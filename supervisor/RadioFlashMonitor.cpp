#include "RadioFlashMonitor.h"

#include "Event.h"
#include "EventFactory.h"
#include "FileSystemWatcher.h"
#include "GetOSAbstractionsFactory.h"
#include "OSTimer.h"
#include "OSTimerFactory.h"
#include "ProcessStartTime.h"
#include "QnxUpgradeCommon.h"
#include "RadioFlashMonitorUi.h"
#include "SimpleEvent.h"
#include "StringOperation.h"
#include "Thread.h"
#include "ThreadFactory.h"

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <utility>

namespace {

const std::wstring WifiStartedFile = L"wifi.started";
const std::wstring WifiUpgradeFailedFile = L"wifiupgrade.failed";

constexpr int EventThreadPriority = 3;
constexpr unsigned int DefaultStackSize = 0;
constexpr const char* EventThreadName = "RadioFlashMonitorEventThread";

// Reports created files and directories.
constexpr unsigned char CreatedEntries = FileSystemWatcher::ReportFiles;

std::wstring WatchedDirectory()
{
    return StringOperation::WStringFromString(std::string(QnxUpgradeCommon::RamDiskPath) +
                                              QnxUpgradeCommon::DirectorySlash);
}

// When a file last changed, its contents or its status (a marker moved in
// keeps its contents' time), in whole seconds: the finest that every RAM
// disk keeps.
std::time_t ChangedAt(const struct stat& status)
{
    return std::max(status.st_mtime, status.st_ctime);
}

} // namespace

std::shared_ptr<RadioFlashMonitor> RadioFlashMonitor::Create(const std::shared_ptr<ThreadFactory>& threadFactory,
                                                             bool autoConfirm, bool recoveryMode, std::uint32_t number)
{
    return Create(threadFactory, autoConfirm, recoveryMode, number, Settings());
}

std::shared_ptr<RadioFlashMonitor> RadioFlashMonitor::Create(const std::shared_ptr<ThreadFactory>& threadFactory,
                                                             bool autoConfirm, bool recoveryMode, std::uint32_t number,
                                                             Settings settings)
{
    // Without the process's start, the time of this call, taken before the
    // page goes up: a marker made meanwhile is this run's.
    const std::time_t runStart = settings.runStart.value_or(ProcessStartTime().value_or(std::time(nullptr)));
    auto supervisor = std::make_shared<RadioFlashMonitor>(CreateKey(), threadFactory, autoConfirm, recoveryMode, number,
                                                          std::move(settings));
    if (!supervisor->Start()) {
        return nullptr;
    }
    // After the watch is in place, so that no marker falls between the two;
    // one that the watcher reports as well only re-arms the restart a moment
    // later.
    supervisor->ReportMarkersPresent(runStart);
    return supervisor;
}

RadioFlashMonitor::RadioFlashMonitor(CreateKey, const std::shared_ptr<ThreadFactory>& threadFactory, bool autoConfirm,
                                     bool recovery, std::uint32_t, Settings runSettings)
    : eventThread(threadFactory->GetNewThread(&RadioFlashMonitor::UpgraderThreadBootstrap, EventThreadPriority,
                                              DefaultStackSize)),
      timerFactory(runSettings.timerFactory ? std::move(runSettings.timerFactory) : OSTimerFactory::Create()),
      controlEvent(EventFactory::GetUniqueEvent(true)), threadFinishedEvent(EventFactory::GetUniqueSimpleEvent(true)),
      exitEvent(EventFactory::GetUniqueSimpleEvent(true)), recoveryMode(recovery),
      callbackGate(std::make_shared<CallbackGate>()), settings(std::move(runSettings))
{
    ui = std::make_unique<RadioFlashMonitorUi>(autoConfirm, recoveryMode);
    restartTimer = timerFactory->GetUniqueOSTimer(OSTimer::OneShot, [this, gate = callbackGate] {
        const CallbackGate::Pass pass(gate);
        if (pass) {
            OnRestartDue();
        }
    });
    fileSystemWatcher = FileSystemWatcher::CreateUnique(*threadFactory, WatchedDirectory(), CreatedEntries);
    fileSystemWatcher->OnCreatedCallback([this, gate = callbackGate](const std::wstring& path) {
        const CallbackGate::Pass pass(gate);
        if (pass) {
            OnCreatedFile(path);
        }
    });
}

bool RadioFlashMonitor::Start()
{
    // A timer the system refused cannot even be disarmed; without it the
    // printer would never restart after the result.
    if (restartTimer->Stop() != 0 || !fileSystemWatcher->IsWatching()) {
        return false;
    }
    eventThread->StartThread(this, EventThreadName);
    return eventThread->IsRunning();
}

RadioFlashMonitor::~RadioFlashMonitor()
{
    callbackGate->Close();
    Exit();
    controlEvent->Signal(StopBit);
    if (eventThread->IsRunning()) {
        threadFinishedEvent->Wait();
    }
    restartTimer.reset();
    fileSystemWatcher.reset();
    ui.reset();
    exitEvent.reset();
    threadFinishedEvent.reset();
    controlEvent.reset();
    timerFactory.reset();
    eventThread.reset();
}

std::function<void(int)> RadioFlashMonitor::ExitNotification(const std::shared_ptr<RadioFlashMonitor>& supervisor)
{
    RadioFlashMonitor* const self = supervisor.get();
    std::shared_ptr<CallbackGate> gate = supervisor ? supervisor->callbackGate : nullptr;
    return [self, gate](int) {
        const CallbackGate::Pass pass(gate);
        if (pass) {
            self->Exit();
        }
    };
}

unsigned int RadioFlashMonitor::MarkerBits(const std::wstring& path)
{
    if (StringOperation::Contains(path, WifiStartedFile)) {
        return SuccessBit;
    }
    if (StringOperation::Contains(path, WifiUpgradeFailedFile)) {
        return FailureBit;
    }
    return 0;
}

void RadioFlashMonitor::Exit()
{
    {
        std::lock_guard<std::mutex> lock(lifecycleMutex);
        lifecycle.Stop();
    }
    ui->ExitUiScreen();
    exitEvent->Signal();
}

void RadioFlashMonitor::WaitForExit()
{
    exitEvent->Wait();
}

void RadioFlashMonitor::OnUpgradeSuccess()
{
    controlEvent->Signal(SuccessBit);
}

void RadioFlashMonitor::OnUpgradeFail()
{
    controlEvent->Signal(FailureBit);
}

void RadioFlashMonitor::CompleteUpgrade(bool succeeded)
{
    switch (TakeResult()) {
    case ResultStep::ShowPage:
        if (succeeded) {
            ui->PromptSystemToReboot();
        } else {
            ui->PromptUpgradeFail();
        }
        break;
    case ResultStep::RestartNow:
        RestartAction();
        break;
    case ResultStep::Nothing:
        break;
    }
}

RadioFlashMonitor::ResultStep RadioFlashMonitor::TakeResult()
{
    std::lock_guard<std::mutex> lock(lifecycleMutex);
    const SupervisorLifecycle::Clock::time_point now = SupervisorLifecycle::Clock::now();
    // The due time is taken before the timer is armed, so that the expiry
    // never comes before it.
    if (!lifecycle.TakeResult(now, std::chrono::milliseconds(settings.restartDelayMs))) {
        return ResultStep::Nothing;
    }
    if (restartTimer->Start(settings.restartDelayMs) == 0) {
        return ResultStep::ShowPage;
    }
    // A timer that will not be armed would never restart the printer: the
    // result is known and the module no longer written, so the restart is
    // due now.
    return lifecycle.BeginRestart(lifecycle.RestartDue()) ? ResultStep::RestartNow : ResultStep::Nothing;
}

void RadioFlashMonitor::Reboot()
{
    GetOSAbstractionsFactory()->CreateOSUtilities()->RestartSystem();
}

void* RadioFlashMonitor::UpgraderThreadBootstrap(void* self)
{
    static_cast<RadioFlashMonitor*>(self)->UpgraderThread();
    return nullptr;
}

void RadioFlashMonitor::UpgraderThread()
{
    for (;;) {
        const unsigned int bits = controlEvent->WaitOr(StopBit | SuccessBit | FailureBit);
        // 0: the event cannot be waited on at all; waiting again would spin.
        if (bits == 0 || (bits & StopBit) != 0) {
            break;
        }
        // Both results in one wake-up: the success page first, then the
        // failure page once the first one's wait has ended (unless a
        // restart or a stop ended it).
        if ((bits & SuccessBit) != 0) {
            CompleteUpgrade(true);
        }
        if ((bits & FailureBit) != 0) {
            CompleteUpgrade(false);
        }
    }
    threadFinishedEvent->Signal();
}

void RadioFlashMonitor::OnCreatedFile(const std::wstring& path)
{
    const unsigned int bits = MarkerBits(path);
    if (bits != 0) {
        controlEvent->Signal(bits);
    }
}

void RadioFlashMonitor::ReportMarkersPresent(std::time_t runStart)
{
    const std::string directory = StringOperation::WStringToUtf8(WatchedDirectory());
    DIR* entries = opendir(directory.c_str());
    if (entries == nullptr) {
        return;
    }
    unsigned int bits = 0;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the stream is this call's own; readdir is safe on unshared streams
    while (const dirent* entry = readdir(entries)) {
        const unsigned int marker = MarkerBits(StringOperation::WStringFromString(directory + entry->d_name));
        struct stat status = {};
        // The RAM disk keeps a marker until the printer restarts: one left
        // by an earlier run that was stopped is not this run's result.
        if (marker != 0 && stat((directory + entry->d_name).c_str(), &status) == 0 && ChangedAt(status) >= runStart) {
            bits |= marker;
        }
    }
    closedir(entries);
    // Both results in one signal: the success page first, as for one wake-up.
    if (bits != 0) {
        controlEvent->Signal(bits);
    }
}

void RadioFlashMonitor::OnRestartDue()
{
    {
        std::lock_guard<std::mutex> lock(lifecycleMutex);
        if (!lifecycle.BeginRestart(SupervisorLifecycle::Clock::now())) {
            return;
        }
    }
    RestartAction();
}

void RadioFlashMonitor::RestartAction()
{
    ui->ExitUiScreen();
    // A copy: the action may release the supervisor, and with it settings.
    const std::function<void()> action = settings.restartAction;
    if (action) {
        action();
    } else {
        Reboot();
    }
}
