// The slay stand-in as SlayScreen runs it: what it stops, what it records,
// and that it reaches no display but that of a program that started it.
#include "ScreenPicture.h"

#include "EmulationLimits.h"
#include "SlayScreen.h"

#include <screen/host_display.h>
#include <screen/screen.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {
std::string Folder()
{
    char pattern[] = "/tmp/slay-test-XXXXXX";
    return mkdtemp(pattern) != nullptr ? pattern : "";
}

std::vector<std::string> Lines(const std::string& path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Every pixel of a film frame is black.
bool IsBlackFrame(const std::string& path)
{
    const ScreenPicture frame = ScreenPicture::FromFile(path);
    return !frame.rgb.empty() &&
           std::all_of(frame.rgb.begin(), frame.rgb.end(), [](std::uint32_t p) { return p == 0; });
}

void RemoveAll(const std::string& folder)
{
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                std::remove((folder + "/" + entry->d_name).c_str());
            }
        }
        closedir(dir);
    }
    rmdir(folder.c_str());
}

class SlayStandInTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const std::string why = EmulationLimits::WhyCannotStart(SLAY_DISPLAY_PROBE); !why.empty()) {
            GTEST_SKIP() << why;
        }
        folder_ = Folder();
        ASSERT_FALSE(folder_.empty());
        setenv("UPGRADE_SCREEN_FILM", folder_.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("UPGRADE_SCREEN_FILM");
        host_screen_set_film_folder(nullptr);
        host_screen_restart_services();
        RemoveAll(folder_);
    }

    // The stand-in as SlayScreen runs it; its output is collected in "out".
    int Slay(const std::string& arguments) const
    {
        const int status =
            std::system((QnxUpgradeCommon::SlayProgram() + " " + arguments + " >>" + folder_ + "/out 2>&1").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string folder_;
};

TEST_F(SlayStandInTest, CommandNamesTheProjectsStandInByItsAbsolutePath)
{
    const std::string program = QnxUpgradeCommon::SlayProgram();
    ASSERT_GE(program.size(), 3u);
    EXPECT_EQ("'/", program.substr(0, 2));
    EXPECT_EQ('\'', program.back());
    EXPECT_EQ(0, access(program.substr(1, program.size() - 2).c_str(), X_OK));
}

TEST_F(SlayStandInTest, StopsTheTouchInputAndThenTheDisplayOfTheProgramThatRunsIt)
{
    screen_context_t context = nullptr;
    screen_window_t window = nullptr;
    screen_buffer_t buffer = nullptr;
    ASSERT_EQ(0, screen_create_context(&context, SCREEN_APPLICATION_CONTEXT));
    ASSERT_EQ(0, screen_create_window(&window, context));
    ASSERT_EQ(0, screen_create_window_buffers(window, 1));
    ASSERT_EQ(0, screen_dequeue_window_render_buffer(&buffer, window, 0));
    ASSERT_EQ(0, screen_post_window(window, buffer, 0, nullptr, 0));
    ASSERT_EQ(0, host_screen_set_film_folder(folder_.c_str()));

    EXPECT_EQ(0, Slay("-f mtouch"));
    EXPECT_EQ(0, host_screen_touch_running());
    EXPECT_EQ(-1, host_screen_press(10, 10, 0));
    EXPECT_EQ(1, host_screen_window_count());

    EXPECT_EQ(0, Slay("-f screen"));
    EXPECT_EQ(0, host_screen_display_running());
    EXPECT_EQ(0, host_screen_window_count());
    EXPECT_TRUE(IsBlackFrame(folder_ + "/frame-00001.png"));
    screen_window_t later = nullptr;
    EXPECT_NE(0, screen_create_window(&later, context));
    EXPECT_NE(0, screen_post_window(window, buffer, 0, nullptr, 0));
    screen_context_t another = nullptr;
    EXPECT_NE(0, screen_create_context(&another, SCREEN_APPLICATION_CONTEXT));

    EXPECT_EQ(1, Slay("-f screen"));
    EXPECT_EQ(1, Slay("-f io-pkt"));
    EXPECT_EQ(2, Slay("-x screen"));
    EXPECT_EQ(0, screen_destroy_context(context));

    EXPECT_EQ(
        (std::vector<std::string>{"slay -f mtouch: stopped", "slay -f screen: stopped", "slay -f screen: not running",
                                  "slay -f io-pkt: no such process", "slay -x screen: usage"}),
        Lines(folder_ + "/slay.log"));
    EXPECT_EQ(std::vector<std::string>(), Lines(folder_ + "/out"));
}

// Another program's display is out of reach; a program reaches its own.
TEST_F(SlayStandInTest, ReachesOnlyTheDisplayOfAProgramThatStartedIt)
{
    ASSERT_EQ(0, host_screen_context_count());
    int toProbe[2];
    int fromProbe[2];
    ASSERT_EQ(0, pipe(toProbe));
    ASSERT_EQ(0, pipe(fromProbe));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toProbe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromProbe[1], 1);
    for (const int fd : {toProbe[0], toProbe[1], fromProbe[0], fromProbe[1]}) {
        posix_spawn_file_actions_addclose(&actions, fd);
    }
    char program[] = SLAY_DISPLAY_PROBE;
    char* argv[] = {program, nullptr};
    pid_t probe = 0;
    ASSERT_EQ(0, posix_spawn(&probe, program, &actions, nullptr, argv, environ));
    posix_spawn_file_actions_destroy(&actions);
    close(toProbe[0]);
    close(fromProbe[1]);
    std::FILE* answers = fdopen(fromProbe[0], "r");
    const auto ask = [&](const std::string& command) {
        if (!command.empty()) {
            EXPECT_EQ(static_cast<ssize_t>(command.size()), write(toProbe[1], command.c_str(), command.size()));
        }
        char line[128] = {};
        return std::fgets(line, sizeof line, answers) != nullptr ? std::string(line) : std::string("(ended)");
    };

    ASSERT_EQ("ready\n", ask(""));
    EXPECT_EQ(1, Slay("-f screen"));
    EXPECT_EQ("1 1 16777215\n", ask("report\n"));
    EXPECT_EQ("status 0\n", ask("slay screen\n"));
    EXPECT_EQ("0 0 0\n", ask("report\n"));

    close(toProbe[1]);
    std::fclose(answers);
    int status = -1;
    EXPECT_EQ(probe, waitpid(probe, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ((std::vector<std::string>{"slay -f screen: no display", "slay -f screen: stopped"}),
              Lines(folder_ + "/slay.log"));
}
} // namespace
