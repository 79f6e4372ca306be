#include "PosixFileSystemWatcher.h"

#include "EventFactory.h"
#include "Utf8Path.h"

#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

std::string Join(const std::string& directory, const char* name, std::size_t nameLength)
{
    std::string joined = directory;
    if (joined.empty() || joined.back() != '/') {
        joined.push_back('/');
    }
    joined.append(name, nameLength);
    return joined;
}

bool IsDirectory(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

PosixFileSystemWatcher::PosixFileSystemWatcher(FileWatcherCtorKey, ThreadFactory& threadFactory,
                                               unsigned char activityMask)
    : FileSystemWatcher(threadFactory, activityMask), startedEvent(EventFactory::GetUniqueSimpleEvent(true)),
      finishedEvent(EventFactory::GetUniqueSimpleEvent(true)), watchMask(InotifyMaskFor(activityMask)),
      threadStarted(false)
{
    notifier.Init();
    thread->StartThread(this, "FileSystemWatcher");
    threadStarted = thread->IsRunning();
    if (threadStarted) {
        startedEvent->Wait();
    }
}

PosixFileSystemWatcher::~PosixFileSystemWatcher()
{
    // The thread does not watch its stop request: waking its wait for events
    // is what ends it.
    notifier.Interrupt();
    thread.reset();
    if (threadStarted) {
        finishedEvent->Wait();
    }
}

bool PosixFileSystemWatcher::SetPath(const std::wstring& newPath)
{
    RemoveWatch();
    {
        std::lock_guard<std::mutex> lock(subWatchMutex);
        path = newPath;
        watchedPathUtf8.clear();
    }
    if (!newPath.empty()) {
        AddWatch();
    }
    return true;
}

bool PosixFileSystemWatcher::IsWatching() const
{
    std::lock_guard<std::mutex> lock(subWatchMutex);
    return threadStarted && notifier.IsPrimaryWatchValid();
}

void PosixFileSystemWatcher::AddWatch()
{
    std::string utf8;
    {
        std::lock_guard<std::mutex> lock(subWatchMutex);
        if (!Utf8Path::ToUtf8(path, utf8)) {
            return; // no such name on disk: nothing to watch
        }
        watchedPathUtf8 = utf8;
        notifier.SetPrimaryWatch(utf8, watchMask);
    }
    if (!WatchSubTree()) {
        return;
    }
    DIR* directory = opendir(utf8.c_str());
    if (directory == nullptr) {
        return;
    }
    std::vector<std::string> subDirectories;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the stream is this call's own; readdir is safe on unshared streams
    while (const dirent* entry = readdir(directory)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        const std::string joined = Join(utf8, entry->d_name, std::strlen(entry->d_name));
        if (IsDirectory(joined)) {
            subDirectories.push_back(joined);
        }
    }
    closedir(directory);
    for (const std::string& sub : subDirectories) {
        AddSubWatch(sub, Utf8Path::ToWide(sub));
    }
}

void PosixFileSystemWatcher::RemoveWatch()
{
    std::lock_guard<std::mutex> lock(subWatchMutex);
    if (!notifier.IsPrimaryWatchValid()) {
        return;
    }
    for (const auto& sub : subWatches) {
        notifier.RemoveSecondaryWatch(sub.second);
    }
    subWatches.clear();
    subWatchDirectories.clear();
    notifier.RemovePrimaryWatch();
}

void PosixFileSystemWatcher::AddSubDirectoryWatch(const std::wstring& directory)
{
    std::string utf8;
    if (Utf8Path::ToUtf8(directory, utf8)) {
        AddSubWatch(utf8, directory);
    }
}

void PosixFileSystemWatcher::AddSubWatch(const std::string& utf8, const std::wstring& wide)
{
    const int wd = notifier.AddSecondaryWatch(utf8, watchMask);
    if (wd == -1) {
        return;
    }
    std::lock_guard<std::mutex> lock(subWatchMutex);
    if (wd == notifier.GetPrimaryWatch()) {
        return; // the watched directory itself, reached through another name
    }
    subWatches[wide] = wd;
    subWatchDirectories[wd] = utf8;
}

void PosixFileSystemWatcher::RemoveSubDirectoryWatch(const std::wstring& directory)
{
    std::lock_guard<std::mutex> lock(subWatchMutex);
    const auto found = subWatches.find(directory);
    if (found == subWatches.end()) {
        return;
    }
    notifier.RemoveSecondaryWatch(found->second);
    subWatchDirectories.erase(found->second);
    subWatches.erase(found);
}

void PosixFileSystemWatcher::FileSystemWatcherThread()
{
    startedEvent->Signal();
    while (const std::optional<PosixINotifier::Event> event = notifier.ReceiveEvent()) {
        HandleEvent(*event);
    }
    finishedEvent->Signal();
}

void PosixFileSystemWatcher::HandleEvent(const PosixINotifier::Event& event)
{
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
        std::lock_guard<std::mutex> lock(callbackMutex);
        if (anyActivityCallback) {
            anyActivityCallback();
        }
        return;
    }
    if ((event.mask & watchMask) == 0 || event.name.empty()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(callbackMutex);
        if (anyActivityCallback) {
            anyActivityCallback();
        }
    }
    std::string directory;
    {
        std::lock_guard<std::mutex> lock(subWatchMutex);
        if (event.wd == notifier.GetPrimaryWatch()) {
            directory = watchedPathUtf8;
        } else {
            const auto found = subWatchDirectories.find(event.wd);
            if (found == subWatchDirectories.end()) {
                return;
            }
            directory = found->second;
        }
    }
    const std::string joined = Join(directory, event.name.data(), event.name.size());
    if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
        HandleFileSystemEvent(IsDirectory(joined) ? Change::CreatedDirectory : Change::CreatedFile, joined);
    } else if ((event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0) {
        HandleFileSystemEvent(Change::Removed, joined);
    }
}

void PosixFileSystemWatcher::HandleFileSystemEvent(Change change, const std::string& fullPath)
{
    const std::wstring wide = Utf8Path::ToWide(fullPath);
    if (change == Change::Removed) {
        RemoveSubDirectoryWatch(wide);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(callbackMutex);
        if (createdCallback) {
            createdCallback(wide);
        }
    }
    if (change == Change::CreatedDirectory && WatchSubTree()) {
        AddSubWatch(fullPath, wide);
    }
}
