#include "RadioFlashMonitor.h"

#include "Event.h"
#include "EventFactory.h"
#include "FileSystemWatcher.h"
#include "GetOSAbstractionsFactory.h"
#include "OSTimer.h"
#include "OSTimerFactory.h"
#include "QnxUpgradeCommon.h"
#include "RadioFlashMonitorUi.h"
#include "SimpleEvent.h"
#include "StringOperation.h"
#include "Thread.h"
#include "ThreadFactory.h"

#include <dirent.h>
#include <string>
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

} // namespace

std::shared_ptr<RadioFlashMonitor> RadioFlashMonitor::Create(const std::shared_ptr<ThreadFactory>& threadFactory,
                                                             bool autoConfirm, bool recoveryMode, std::uint32_t number)
{
    return Create(threadFactory, autoConfirm, recoveryMode, number, RestartSettings());
}

std::shared_ptr<RadioFlashMonitor> RadioFlashMonitor::Create(const std::shared_ptr<ThreadFactory>& threadFactory,
                                                             bool autoConfirm, bool recoveryMode, std::uint32_t number,
                                                             RestartSettings restart)
{
    auto supervisor = std::make_shared<RadioFlashMonitor>(CreateKey(), threadFactory, autoConfirm, recoveryMode, number,
                                                          std::move(restart));
    std::weak_ptr<RadioFlashMonitor> weak = supervisor;
    supervisor->fileSystemWatcher->OnCreatedCallback([weak, gate = supervisor->callbackGate](const std::wstring& path) {
        const CallbackGate::Pass pass(gate);
        if (!pass) {
            return;
        }
        if (const auto self = weak.lock()) {
            self->OnCreatedFile(path);
        }
    });
    // A marker the script left before the callback was registered was never
    // reported, and would leave the in-progress page up for ever.
    supervisor->ReportMarkersPresent();
    supervisor->eventThread->StartThread(supervisor.get(), EventThreadName);
    return supervisor;
}

RadioFlashMonitor::RadioFlashMonitor(CreateKey, const std::shared_ptr<ThreadFactory>& threadFactory, bool autoConfirm,
                                     bool recovery, std::uint32_t, RestartSettings restartSettings)
    : eventThread(threadFactory->GetNewThread(&RadioFlashMonitor::UpgraderThreadBootstrap, EventThreadPriority,
                                              DefaultStackSize)),
      timerFactory(OSTimerFactory::Create()), controlEvent(EventFactory::GetUniqueEvent(true)),
      threadFinishedEvent(EventFactory::GetUniqueSimpleEvent(true)),
      exitEvent(EventFactory::GetUniqueSimpleEvent(true)), recoveryMode(recovery),
      callbackGate(std::make_shared<CallbackGate>()), restartGate(std::make_shared<CallbackGate>()),
      restart(std::move(restartSettings))
{
    ui = std::make_unique<RadioFlashMonitorUi>(autoConfirm, recoveryMode);
    // The raw pointer is safe inside the gate: destruction closes it, waiting
    // for a running callback, before anything the callback uses goes.
    restartTimer = timerFactory->GetUniqueOSTimer(OSTimer::OneShot, [this, gate = restartGate] {
        const CallbackGate::Pass pass(gate);
        if (pass) {
            RestartAction();
        }
    });
    fileSystemWatcher = FileSystemWatcher::CreateUnique(*threadFactory, WatchedDirectory(), CreatedEntries);
}

RadioFlashMonitor::~RadioFlashMonitor()
{
    controlEvent->Signal(StopBit);
    // A result page waiting for a touch would hold the event thread until
    // the restart: the stop ends that wait.
    ui->ExitUiScreen();
    if (eventThread->IsRunning()) {
        threadFinishedEvent->Wait();
    }
    // No restart may reach the screen once it is released: the gate admits
    // no new expiry, and a restart already under way is waited for.
    restartGate->Close();
    restartTimer.reset();
    ui.reset();
    fileSystemWatcher.reset();
    exitEvent.reset();
    threadFinishedEvent.reset();
    controlEvent.reset();
    timerFactory.reset();
    eventThread.reset();
}

void RadioFlashMonitor::Release(std::shared_ptr<RadioFlashMonitor> supervisor)
{
    if (!supervisor) {
        return;
    }
    supervisor->callbackGate->Close();
    supervisor.reset();
}

std::function<void(int)> RadioFlashMonitor::ExitNotification(const std::shared_ptr<RadioFlashMonitor>& supervisor)
{
    std::weak_ptr<RadioFlashMonitor> weak = supervisor;
    std::shared_ptr<CallbackGate> gate = supervisor ? supervisor->callbackGate : nullptr;
    return [weak, gate](int) {
        const CallbackGate::Pass pass(gate);
        if (!pass) {
            return;
        }
        if (const auto self = weak.lock()) {
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
    restartTimer->Start(restart.delayMs);
    if (succeeded) {
        ui->PromptSystemToReboot();
    } else {
        ui->PromptUpgradeFail();
    }
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
        // failure page once the first one's wait has ended.
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
    if (bits == SuccessBit) {
        OnUpgradeSuccess();
    } else if (bits == FailureBit) {
        OnUpgradeFail();
    }
}

void RadioFlashMonitor::ReportMarkersPresent()
{
    const std::wstring directory = WatchedDirectory();
    DIR* entries = opendir(StringOperation::WStringToUtf8(directory).c_str());
    if (entries == nullptr) {
        return;
    }
    unsigned int bits = 0;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the stream is this call's own; readdir is safe on unshared streams
    while (const dirent* entry = readdir(entries)) {
        bits |= MarkerBits(directory + StringOperation::WStringFromString(entry->d_name));
    }
    closedir(entries);
    // Both results in one signal: the success page first, as for one wake-up.
    if (bits != 0) {
        controlEvent->Signal(bits);
    }
}

void RadioFlashMonitor::RestartAction()
{
    ui->ExitUiScreen();
    if (restart.action) {
        restart.action();
    } else {
        Reboot();
    }
}
