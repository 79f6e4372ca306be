#include "FileSystemWatcher.h"

#include "PosixFileSystemWatcher.h"

#include <sys/inotify.h>
#include <utility>

namespace {
constexpr int WatcherPriority = 16;
}

FileSystemWatcher::FileSystemWatcher(ThreadFactory& threadFactory, unsigned char activityMask)
    : thread(threadFactory.GetNewThread(&FileSystemWatcher::FileSystemWatcherThreadBootstrap, WatcherPriority, 0)),
      flags(activityMask)
{}

FileSystemWatcher::~FileSystemWatcher() = default;

std::unique_ptr<FileSystemWatcher> FileSystemWatcher::CreateUnique(ThreadFactory& threadFactory,
                                                                   const std::wstring& watchedPath,
                                                                   unsigned char activityMask)
{
    std::unique_ptr<FileSystemWatcher> watcher = CreateUnique(threadFactory, activityMask);
    watcher->SetPath(watchedPath);
    return watcher;
}

std::unique_ptr<FileSystemWatcher> FileSystemWatcher::CreateUnique(ThreadFactory& threadFactory,
                                                                   unsigned char activityMask)
{
    return std::make_unique<PosixFileSystemWatcher>(Key(), threadFactory, activityMask);
}

std::shared_ptr<FileSystemWatcher> FileSystemWatcher::CreateShared(ThreadFactory& threadFactory,
                                                                   const std::wstring& watchedPath,
                                                                   unsigned char activityMask)
{
    return CreateUnique(threadFactory, watchedPath, activityMask);
}

std::shared_ptr<FileSystemWatcher> FileSystemWatcher::CreateShared(ThreadFactory& threadFactory,
                                                                   unsigned char activityMask)
{
    return CreateUnique(threadFactory, activityMask);
}

void FileSystemWatcher::OnCreatedCallback(std::function<void(const std::wstring&)> callback)
{
    std::lock_guard<std::mutex> lock(callbackMutex);
    createdCallback = std::move(callback);
}

void FileSystemWatcher::OnAnyActivityCallback(std::function<void()> callback)
{
    std::lock_guard<std::mutex> lock(callbackMutex);
    anyActivityCallback = std::move(callback);
}

bool FileSystemWatcher::SetPath(const std::wstring& newPath)
{
    path = newPath;
    return true;
}

bool FileSystemWatcher::IsWatching() const
{
    return false;
}

void FileSystemWatcher::AddSubDirectoryWatch(const std::wstring&)
{}

void FileSystemWatcher::RemoveSubDirectoryWatch(const std::wstring&)
{}

unsigned int FileSystemWatcher::InotifyMaskFor(unsigned char activityMask)
{
    unsigned int mask = 0;
    if ((activityMask & (ReportDirectories | ReportFiles)) != 0) {
        mask |= IN_CREATE | IN_MOVED_TO;
    }
    if ((activityMask & (FollowRemovalsA | FollowRemovalsB | WatchSubTreeFlag)) != 0) {
        mask |= IN_DELETE | IN_MOVED_FROM;
    }
    return mask;
}

void* FileSystemWatcher::FileSystemWatcherThreadBootstrap(void* self)
{
    static_cast<FileSystemWatcher*>(self)->FileSystemWatcherThread();
    return nullptr;
}
