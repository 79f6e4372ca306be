#pragma once

#include "FileSystemWatcher.h"
#include "PosixINotifier.h"
#include "SimpleEvent.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

// FileSystemWatcher on inotify. SetPath and the sub-directory operations may
// be called from any thread while the watcher thread runs.
class PosixFileSystemWatcher : public FileSystemWatcher
{
public:
    // Starts the watcher thread and returns once it runs, watching nothing yet.
    PosixFileSystemWatcher(FileWatcherCtorKey key, ThreadFactory& threadFactory, unsigned char flags);
    ~PosixFileSystemWatcher() override;

    bool SetPath(const std::wstring& newPath) override;
    bool IsWatching() const override;
    void AddSubDirectoryWatch(const std::wstring& directory) override;
    void RemoveSubDirectoryWatch(const std::wstring& directory) override;

    unsigned int GetWatchMask() const { return watchMask; }

protected:
    void FileSystemWatcherThread() override;

private:
    enum class Change
    {
        CreatedFile,
        CreatedDirectory,
        Removed
    };

    void HandleEvent(const PosixINotifier::Event& event);
    void HandleFileSystemEvent(Change change, const std::string& fullPath);
    // Watches a sub-directory given in both forms; the UTF-8 one is the
    // name on disk, the wide one the key clients know it by.
    void AddSubWatch(const std::string& utf8, const std::wstring& wide);
    void AddWatch();
    void RemoveWatch();

    std::unique_ptr<SimpleEvent> startedEvent;
    std::unique_ptr<SimpleEvent> finishedEvent;
    PosixINotifier notifier;
    unsigned int watchMask;
    // Guards subWatches, subWatchDirectories, watchedPathUtf8 and the
    // notifier's primary watch.
    mutable std::mutex subWatchMutex;
    std::unordered_map<std::wstring, int> subWatches;
    // Watch descriptor to the sub-directory's UTF-8 path: the watcher
    // thread's lookup.
    std::unordered_map<int, std::string> subWatchDirectories;
    std::string watchedPathUtf8;
    bool threadStarted;
};
