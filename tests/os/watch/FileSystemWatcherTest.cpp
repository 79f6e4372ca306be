#include "FileSystemWatcher.h"

#include "BlockedThread.h"
#include "EmulationLimits.h"
#include "EventFactory.h"
#include "PosixFileSystemWatcher.h"
#include "RefusingThreadFactory.h"
#include "ThreadFactory.h"
#include "Utf8Path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr unsigned char Files = FileSystemWatcher::ReportFiles;

// A fresh directory for one test, removed with everything in it afterwards.
class TempDir
{
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "fswatch-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            dir = pattern;
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return dir + "/" + name; }
    std::wstring Wide() const { return Utf8Path::ToWide(dir); }

    std::string dir;
};

void Touch(const std::string& path)
{
    std::ofstream(path).put('x');
}

// Collects what the callbacks report; waits bounded and generously.
class Reports
{
public:
    std::function<void(const std::wstring&)> OnCreated()
    {
        return [this](const std::wstring& path) {
            std::lock_guard<std::mutex> lock(mutex);
            created.push_back(path);
            changed.notify_all();
        };
    }
    std::function<void()> OnActivity()
    {
        return [this] {
            std::lock_guard<std::mutex> lock(mutex);
            ++activity;
            changed.notify_all();
        };
    }
    bool WaitForCreated(std::size_t count, std::chrono::milliseconds limit = 30s)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [&] { return created.size() >= count; });
    }
    bool WaitForActivity(int count, std::chrono::milliseconds limit = 30s)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [&] { return activity >= count; });
    }
    std::vector<std::wstring> Paths() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return created;
    }
    bool WaitForPath(const std::wstring& path, std::chrono::milliseconds limit = 30s)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, [&] { return !created.empty() && created.back() == path; });
    }
    int Activities() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return activity;
    }

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::wstring> created;
    int activity = 0;
};

// Waits until a marker file created after the event under test has been
// reported: everything before it has been handled by then.
void Settle(TempDir& dir, Reports& reports, const std::string& marker = "zz-marker")
{
    Touch(dir / marker);
    ASSERT_TRUE(reports.WaitForPath(Utf8Path::ToWide(dir / marker)));
}

class FileSystemWatcherTest : public ::testing::Test
{
protected:
    ThreadFactory factory{14};
    TempDir dir;
    Reports reports;
};

} // namespace

// --- activity mask

TEST(FileSystemWatcherMask, CreationBitsAskForCreatedAndMovedInRemovalBitsForDeletedAndMovedOut)
{
    EXPECT_EQ(FileSystemWatcher::InotifyMaskFor(0), 0u);
    EXPECT_EQ(FileSystemWatcher::InotifyMaskFor(1), 0x180u);
    EXPECT_EQ(FileSystemWatcher::InotifyMaskFor(2), 0x180u);
    EXPECT_EQ(FileSystemWatcher::InotifyMaskFor(4), 0x240u);
    EXPECT_EQ(FileSystemWatcher::InotifyMaskFor(8), 0x240u);
    EXPECT_EQ(FileSystemWatcher::InotifyMaskFor(0x20), 0x240u);
    EXPECT_EQ(FileSystemWatcher::InotifyMaskFor(0x23), 0x3C0u);
    EXPECT_EQ(FileSystemWatcher::InotifyMaskFor(0x10), 0u);
}

TEST(FileSystemWatcherMask, SubTreeIsWatchedExactlyWithItsBit)
{
    ThreadFactory factory(14);
    EXPECT_FALSE(FileSystemWatcher::CreateUnique(factory, 0x1F)->WatchSubTree());
    EXPECT_TRUE(FileSystemWatcher::CreateShared(factory, 0x20)->WatchSubTree());
}

// --- created entries

TEST_F(FileSystemWatcherTest, CreatedFileIsReportedOnceWithTheFullPath)
{
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide() + L"/", Files);
    watcher->OnCreatedCallback(reports.OnCreated());
    Touch(dir / "wifi.started");
    ASSERT_TRUE(reports.WaitForCreated(1));
    Settle(dir, reports);
    const auto created = reports.Paths();
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0], dir.Wide() + L"/wifi.started") << "a slash is added only when the path lacks one";
}

TEST_F(FileSystemWatcherTest, PathWithoutTrailingSlashGetsOne)
{
    auto watcher = FileSystemWatcher::CreateShared(factory, dir.Wide(), Files);
    watcher->OnCreatedCallback(reports.OnCreated());
    Touch(dir / "a");
    ASSERT_TRUE(reports.WaitForCreated(1));
    EXPECT_EQ(reports.Paths()[0], dir.Wide() + L"/a");
}

TEST_F(FileSystemWatcherTest, FileMovedInIsReportedLikeACreatedOne)
{
    TempDir elsewhere;
    Touch(elsewhere / "incoming");
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
    watcher->OnCreatedCallback(reports.OnCreated());
    ASSERT_EQ(std::rename((elsewhere / "incoming").c_str(), (dir / "incoming").c_str()), 0);
    ASSERT_TRUE(reports.WaitForCreated(1));
    EXPECT_EQ(reports.Paths()[0], dir.Wide() + L"/incoming");
}

TEST_F(FileSystemWatcherTest, DeletedFileIsNotReported)
{
    Touch(dir / "old");
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
    watcher->OnCreatedCallback(reports.OnCreated());
    watcher->OnAnyActivityCallback(reports.OnActivity());
    ASSERT_EQ(std::remove((dir / "old").c_str()), 0);
    Settle(dir, reports);
    EXPECT_EQ(reports.Paths().size(), 1u);
    EXPECT_EQ(reports.Activities(), 1) << "only the marker was any activity";
}

TEST_F(FileSystemWatcherTest, CreatedDirectoryIsReportedToo)
{
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
    watcher->OnCreatedCallback(reports.OnCreated());
    ASSERT_TRUE(fs::create_directory(dir / "sub"));
    ASSERT_TRUE(reports.WaitForCreated(1));
    EXPECT_EQ(reports.Paths()[0], dir.Wide() + L"/sub");
}

TEST_F(FileSystemWatcherTest, EitherCreationBitReportsBothKindsOfEntry)
{
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), FileSystemWatcher::ReportDirectories);
    watcher->OnCreatedCallback(reports.OnCreated());
    Touch(dir / "file");
    ASSERT_TRUE(fs::create_directory(dir / "folder"));
    ASSERT_TRUE(reports.WaitForCreated(2));
    const auto created = reports.Paths();
    EXPECT_EQ(created[0], dir.Wide() + L"/file");
    EXPECT_EQ(created[1], dir.Wide() + L"/folder");
}

TEST_F(FileSystemWatcherTest, FileCreatedBeforeAnyCallbackIsConsumedWithoutACall)
{
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
    watcher->OnAnyActivityCallback(reports.OnActivity());
    Touch(dir / "early");
    Touch(dir / "after-early");
    // The second activity comes only once the first event is handled whole.
    ASSERT_TRUE(reports.WaitForActivity(2));
    watcher->OnCreatedCallback(reports.OnCreated());
    Touch(dir / "late");
    Settle(dir, reports);
    const auto created = reports.Paths();
    EXPECT_EQ(std::count(created.begin(), created.end(), dir.Wide() + L"/early"), 0);
    EXPECT_EQ(std::count(created.begin(), created.end(), dir.Wide() + L"/late"), 1);
}

TEST_F(FileSystemWatcherTest, StormOfTenThousandFilesIsReportedOnceEachAndInOrder)
{
    // 10,000 creations stay well inside the kernel's default queue of 16,384
    // events, so none can be dropped however far the watcher falls behind.
    constexpr int Count = 10000;
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
    watcher->OnCreatedCallback(reports.OnCreated());
    std::vector<std::wstring> expected;
    char name[32];
    for (int i = 0; i < Count; ++i) {
        std::snprintf(name, sizeof name, "f%05d", i);
        Touch(dir / name);
        expected.push_back(dir.Wide() + L"/" + Utf8Path::ToWide(name));
    }
    ASSERT_TRUE(reports.WaitForCreated(Count, 120s));
    Settle(dir, reports);
    auto created = reports.Paths();
    ASSERT_EQ(created.size(), static_cast<std::size_t>(Count) + 1);
    created.pop_back();
    EXPECT_TRUE(created == expected) << "every file exactly once, in creation order";
}

TEST_F(FileSystemWatcherTest, NameThatIsNotUtf8IsReportedWithReplacementAndTheWatcherCarriesOn)
{
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
    watcher->OnCreatedCallback(reports.OnCreated());
    Touch(dir / "bad\xff\xc3name");
    Touch(dir / "good");
    ASSERT_TRUE(reports.WaitForCreated(2));
    const auto created = reports.Paths();
    EXPECT_EQ(created[0], dir.Wide() + L"/bad\xFFFD\xFFFDname");
    EXPECT_EQ(created[1], dir.Wide() + L"/good");
}

// --- sub-trees

TEST_F(FileSystemWatcherTest, SubTreeWatchReportsFilesInExistingSubDirectories)
{
    ASSERT_TRUE(fs::create_directory(dir / "existing"));
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files | FileSystemWatcher::WatchSubTreeFlag);
    watcher->OnCreatedCallback(reports.OnCreated());
    Touch(dir / "existing/inner");
    ASSERT_TRUE(reports.WaitForCreated(1));
    EXPECT_EQ(reports.Paths()[0], dir.Wide() + L"/existing/inner");
}

TEST_F(FileSystemWatcherTest, SubTreeWatchFollowsNewSubDirectoriesButNotDeeper)
{
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files | FileSystemWatcher::WatchSubTreeFlag);
    watcher->OnCreatedCallback(reports.OnCreated());
    ASSERT_TRUE(fs::create_directory(dir / "new"));
    ASSERT_TRUE(reports.WaitForCreated(1));
    // The watch is added after the report: probe until a file inside is seen.
    std::wstring inner;
    for (int i = 0; i < 500 && inner.empty(); ++i) {
        Touch(dir / ("new/p" + std::to_string(i)));
        if (reports.WaitForCreated(2, 20ms)) {
            inner = reports.Paths()[1];
        }
    }
    EXPECT_EQ(inner.rfind(dir.Wide() + L"/new/p", 0), 0u) << "reported with its full path";
}

TEST_F(FileSystemWatcherTest, WithoutTheSubTreeBitSubDirectoriesAreNotWatched)
{
    ASSERT_TRUE(fs::create_directory(dir / "existing"));
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
    watcher->OnCreatedCallback(reports.OnCreated());
    Touch(dir / "existing/inner");
    Settle(dir, reports);
    EXPECT_EQ(reports.Paths().size(), 1u);
}

TEST_F(FileSystemWatcherTest, RemovedSubDirectoryLosesItsWatchAndARecreatedOneIsWatchedAgain)
{
    ASSERT_TRUE(fs::create_directory(dir / "sub"));
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files | FileSystemWatcher::WatchSubTreeFlag);
    watcher->OnCreatedCallback(reports.OnCreated());
    ASSERT_TRUE(fs::remove(dir / "sub"));
    ASSERT_TRUE(fs::create_directory(dir / "sub"));
    ASSERT_TRUE(reports.WaitForCreated(1));
    bool seen = false;
    for (int i = 0; i < 500 && !seen; ++i) {
        Touch(dir / ("sub/q" + std::to_string(i)));
        seen = reports.WaitForCreated(2, 20ms);
    }
    EXPECT_TRUE(seen);
}

// --- paths

TEST_F(FileSystemWatcherTest, NewPathReplacesTheOldAndAnEmptyOneWatchesNothing)
{
    TempDir second;
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
    watcher->OnCreatedCallback(reports.OnCreated());
    EXPECT_TRUE(watcher->SetPath(second.Wide()));
    Touch(dir / "old-dir-file");
    Touch(second / "new-dir-file");
    ASSERT_TRUE(reports.WaitForCreated(1));
    Settle(second, reports);
    auto created = reports.Paths();
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0], second.Wide() + L"/new-dir-file");

    EXPECT_TRUE(watcher->SetPath(L""));
    Touch(second / "ignored");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(reports.Paths().size(), 2u);
}

TEST_F(FileSystemWatcherTest, MissingDirectoryStillSetsThePathReportsNothingAndIsNotWatching)
{
    auto watcher = FileSystemWatcher::CreateUnique(factory, Files);
    watcher->OnCreatedCallback(reports.OnCreated());
    EXPECT_TRUE(watcher->SetPath(dir.Wide() + L"/does-not-exist"));
    EXPECT_FALSE(watcher->IsWatching());
    EXPECT_TRUE(watcher->SetPath(L"bad\xD800path")); // no UTF-8 form
    EXPECT_FALSE(watcher->IsWatching());
    Touch(dir / "x");
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(reports.Paths().empty());
    EXPECT_TRUE(watcher->SetPath(dir.Wide()));
    EXPECT_TRUE(watcher->IsWatching());
}

// Without its thread no event can arrive, whatever it watches.
TEST_F(FileSystemWatcherTest, WatcherWhoseThreadTheSystemRefusedIsNotWatching)
{
    RefusingThreadFactory refusing(14, {"FileSystemWatcher"});
    EXPECT_FALSE(FileSystemWatcher::CreateUnique(refusing, dir.Wide(), Files)->IsWatching());
}

// --- lifetime

TEST_F(FileSystemWatcherTest, DestructionWhileTheThreadWaitsForEventsReturns)
{
    if (const std::string why = EmulationLimits::WhySystemCallsUnreadable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    const int threads = Thread::GetThreadCount();
    {
        auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
        // Named before the watcher's creation returns.
        const pid_t watcherThread = blocked_thread::FindByName("FileSystemWatch");
        ASSERT_NE(watcherThread, 0);
        EXPECT_TRUE(blocked_thread::EventuallyIn(watcherThread, blocked_thread::PollCalls()))
            << "the thread waits for events";
    }
    {
        auto idle = FileSystemWatcher::CreateShared(factory, Files);
    }
    EXPECT_EQ(Thread::GetThreadCount(), threads);
}

TEST_F(FileSystemWatcherTest, DestructionEndsTheThreadWhileEventsKeepArriving)
{
    std::atomic<bool> done{false};
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
    watcher->OnCreatedCallback(reports.OnCreated());
    std::thread creator([&] {
        for (int i = 0; !done; ++i) {
            Touch(dir / ("s" + std::to_string(i % 1000)));
        }
    });
    ASSERT_TRUE(reports.WaitForCreated(10));
    watcher.reset();
    const std::size_t atDestruction = reports.Paths().size();
    done = true;
    creator.join();
    EXPECT_EQ(reports.Paths().size(), atDestruction) << "no callback after destruction";
}

TEST_F(FileSystemWatcherTest, CallbacksMayBeReplacedWhileEventsArrive)
{
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
    std::thread creator([&] {
        for (int i = 0; i < 200; ++i) {
            Touch(dir / ("c" + std::to_string(i)));
        }
    });
    for (int i = 0; i < 200; ++i) {
        watcher->OnCreatedCallback(i % 2 == 0 ? reports.OnCreated() : nullptr);
        watcher->OnAnyActivityCallback(reports.OnActivity());
    }
    creator.join();
    watcher->OnCreatedCallback(reports.OnCreated());
    Settle(dir, reports);
    EXPECT_LE(reports.Paths().size(), 201u);
}

TEST_F(FileSystemWatcherTest, QueueOverflowIsReportedAsActivityAndWatchingGoesOn)
{
    std::ifstream limitFile("/proc/sys/fs/inotify/max_queued_events");
    long limit = 0;
    if (!(limitFile >> limit) || limit <= 0 || limit > 20000) {
        GTEST_SKIP() << "queue limit " << limit << " is too large to overflow quickly";
    }
    auto watcher = FileSystemWatcher::CreateUnique(factory, dir.Wide(), Files);
    auto release = EventFactory::GetUniqueSimpleEvent(false);
    // The first report holds the watcher thread until the queue has overflowed.
    std::atomic<bool> first{true};
    watcher->OnCreatedCallback([&](const std::wstring& path) {
        if (first.exchange(false)) {
            release->Wait();
        }
        reports.OnCreated()(path);
    });
    watcher->OnAnyActivityCallback(reports.OnActivity());
    const long total = limit + 100;
    for (long i = 0; i < total; ++i) {
        Touch(dir / ("o" + std::to_string(i)));
    }
    release->Signal();
    ASSERT_TRUE(reports.WaitForCreated(static_cast<std::size_t>(limit) - 1, 120s));
    Settle(dir, reports);
    const auto created = reports.Paths();
    EXPECT_LT(created.size(), static_cast<std::size_t>(total));
    EXPECT_EQ(static_cast<std::size_t>(reports.Activities()), created.size() + 1) << "one activity for the overflow";
    EXPECT_EQ(created.back(), dir.Wide() + L"/zz-marker") << "watching went on after the overflow";
}
