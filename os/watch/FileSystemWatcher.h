#pragma once

#include "Thread.h"
#include "ThreadFactory.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

// Watches one directory (optionally with its immediate sub-directories) and
// calls its client back, on a thread of its own ("FileSystemWatcher",
// priority 16), for every entry created in it.
//
// The activity mask: ReportDirectories (1) or ReportFiles (2) turns on the
// reports of created entries of both kinds, moved-in entries included;
// FollowRemovalsA (4), FollowRemovalsB (8) follow removals, so that the
// watches of removed sub-directories are dropped; WatchSubTreeFlag (0x20)
// also watches the sub-directories. Removals are never reported.
//
// Callbacks run on the watcher thread with callbackMutex held: they must
// return promptly and must not replace a callback of the same watcher. The
// created callback gets the full path: the watched path, a "/" when it lacks
// one, and the entry name. A name that is not valid UTF-8 is reported with
// U+FFFD for each invalid sequence (see Utf8Path). When the system's event
// queue overflowed, events were lost: the any-activity callback is called
// once for the overflow, and the created callback not at all for it.
//
// Destroying the watcher ends its thread, even while it waits for events,
// and joins it: once the destructor returns no callback runs or will run.
// Never destroy it from one of its own callbacks (the thread would join
// itself).
class FileSystemWatcher
{
public:
    // Only the factory functions below can make one: clients cannot build a
    // watcher directly.
    class FileWatcherCtorKey
    {
        FileWatcherCtorKey() = default;
        friend class FileSystemWatcher;
    };

    enum : unsigned char
    {
        ReportDirectories = 0x01,
        ReportFiles = 0x02,
        FollowRemovalsA = 0x04,
        FollowRemovalsB = 0x08,
        WatchSubTreeFlag = 0x20,
    };

    // A watcher whose thread runs, watching path (when given). Never null.
    static std::unique_ptr<FileSystemWatcher> CreateUnique(ThreadFactory& threadFactory, const std::wstring& path,
                                                           unsigned char flags);
    static std::unique_ptr<FileSystemWatcher> CreateUnique(ThreadFactory& threadFactory, unsigned char flags);
    static std::shared_ptr<FileSystemWatcher> CreateShared(ThreadFactory& threadFactory, const std::wstring& path,
                                                           unsigned char flags);
    static std::shared_ptr<FileSystemWatcher> CreateShared(ThreadFactory& threadFactory, unsigned char flags);

    virtual ~FileSystemWatcher();

    FileSystemWatcher(const FileSystemWatcher&) = delete;
    FileSystemWatcher& operator=(const FileSystemWatcher&) = delete;

    void OnCreatedCallback(std::function<void(const std::wstring&)> callback);
    void OnAnyActivityCallback(std::function<void()> callback);

    // Watches path from now on (an empty path: nothing). Always true, also
    // when the directory cannot be watched; then no event ever arrives.
    virtual bool SetPath(const std::wstring& newPath);
    // True when events can arrive: the watcher thread started and the
    // watched directory has its watch. False after a path that could not be
    // watched, or when the system refused the thread.
    virtual bool IsWatching() const;
    virtual void AddSubDirectoryWatch(const std::wstring& directory);
    virtual void RemoveSubDirectoryWatch(const std::wstring& directory);

    bool WatchSubTree() const { return (flags & WatchSubTreeFlag) != 0; }
    unsigned char GetFlags() const { return flags; }

    // The inotify event mask that an activity mask asks for.
    static unsigned int InotifyMaskFor(unsigned char activityMask);

protected:
    FileSystemWatcher(ThreadFactory& threadFactory, unsigned char flags);

    virtual void FileSystemWatcherThread() = 0;
    static void* FileSystemWatcherThreadBootstrap(void* self);

    static FileWatcherCtorKey Key() { return FileWatcherCtorKey(); }

    std::wstring path;
    std::unique_ptr<Thread> thread;
    std::function<void()> anyActivityCallback;
    std::function<void(const std::wstring&)> createdCallback;
    std::mutex callbackMutex;
    const unsigned char flags;
};
