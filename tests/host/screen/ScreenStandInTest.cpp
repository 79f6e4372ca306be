#include "ScreenCodes.h"

#include <screen/host_display.h>
#include <screen/screen.h>

#include <png.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

// The stand-in answers to the numbers the presenter sends, so that a host
// build reads what the printer's compositor reads.
static_assert(SCREEN_APPLICATION_CONTEXT == ScreenCodes::ApplicationContext);
static_assert(SCREEN_PROPERTY_BUFFER_SIZE == ScreenCodes::BufferSizeProperty);
static_assert(SCREEN_PROPERTY_POSITION == ScreenCodes::PositionProperty);
static_assert(SCREEN_PROPERTY_SIZE == ScreenCodes::SizeProperty);
static_assert(SCREEN_PROPERTY_ZORDER == ScreenCodes::ZOrderProperty);
static_assert(SCREEN_PROPERTY_POINTER == ScreenCodes::PointerProperty);
static_assert(SCREEN_PROPERTY_STRIDE == ScreenCodes::StrideProperty);
static_assert(SCREEN_PROPERTY_TYPE == ScreenCodes::TypeProperty);
static_assert(SCREEN_PROPERTY_SOURCE_POSITION == ScreenCodes::SourcePositionProperty);
static_assert(SCREEN_PROPERTY_TOUCH_ID == ScreenCodes::TouchIdProperty);
static_assert(SCREEN_EVENT_NONE == ScreenCodes::NoEvent);
static_assert(SCREEN_EVENT_MTOUCH_TOUCH == ScreenCodes::TouchDownEvent);

namespace {
// One context with one window of w x h at (x, y), its buffer filled with a
// single blue-green-red-alpha colour.
class TestWindow
{
public:
    TestWindow(int x, int y, int w, int h, int zorder)
    {
        EXPECT_EQ(0, screen_create_context(&context, SCREEN_APPLICATION_CONTEXT));
        EXPECT_EQ(0, screen_create_window(&window, context));
        const int size[2] = {w, h};
        const int position[2] = {x, y};
        screen_set_window_property_iv(window, SCREEN_PROPERTY_SIZE, size);
        screen_set_window_property_iv(window, SCREEN_PROPERTY_BUFFER_SIZE, size);
        screen_set_window_property_iv(window, SCREEN_PROPERTY_POSITION, position);
        screen_set_window_property_iv(window, SCREEN_PROPERTY_ZORDER, &zorder);
        EXPECT_EQ(0, screen_create_window_buffers(window, 1));
        EXPECT_EQ(0, screen_dequeue_window_render_buffer(&buffer, window, 0));
        void* pointer = nullptr;
        screen_get_buffer_property_pv(buffer, SCREEN_PROPERTY_POINTER, &pointer);
        screen_get_buffer_property_iv(buffer, SCREEN_PROPERTY_STRIDE, &stride);
        pixels = static_cast<unsigned char*>(pointer);
        width = w;
        height = h;
    }
    ~TestWindow() { screen_destroy_context(context); }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    void Fill(std::uint32_t rgb, unsigned char alpha, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1)
    {
        for (int y = y0; y < (y1 < 0 ? height : y1); ++y) {
            for (int x = x0; x < (x1 < 0 ? width : x1); ++x) {
                unsigned char* p =
                    pixels + static_cast<size_t>(y) * static_cast<size_t>(stride) + 4 * static_cast<size_t>(x);
                p[0] = static_cast<unsigned char>(rgb & 0xFF);
                p[1] = static_cast<unsigned char>((rgb >> 8) & 0xFF);
                p[2] = static_cast<unsigned char>(rgb >> 16);
                p[3] = alpha;
            }
        }
    }
    int Post(std::vector<int> rects = {})
    {
        return screen_post_window(window, buffer, static_cast<int>(rects.size() / 4),
                                  rects.empty() ? nullptr : rects.data(), 0);
    }

    screen_context_t context = nullptr;
    screen_window_t window = nullptr;
    screen_buffer_t buffer = nullptr;
    unsigned char* pixels = nullptr;
    int stride = 0;
    int width = 0;
    int height = 0;
};

std::string TemporaryFolder()
{
    char name[] = "/tmp/screen_test_XXXXXX";
    const char* made = mkdtemp(name);
    return made == nullptr ? std::string() : std::string(made);
}

// The pixel at (x, y) of an RGB PNG file, 0xRRGGBB; -1 when unreadable.
long PngPixel(const std::string& path, int x, int y)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return -1;
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        return -1;
    }
    const unsigned char* p = rgb.data() + (static_cast<size_t>(y) * image.width + static_cast<size_t>(x)) * 3;
    return (long{p[0]} << 16) | (long{p[1]} << 8) | p[2];
}

class ScreenStandIn : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(0, host_screen_set_display_size(400, 300)); }
    void TearDown() override { host_screen_set_display_size(1024, 600); }
};

TEST_F(ScreenStandIn, WindowsComposeInZOrderWithTransparencyOverWhatLiesBelow)
{
    TestWindow low(0, 0, 100, 100, 1);
    TestWindow high(50, 50, 100, 100, 2);
    low.Fill(0xFF0000, 0xFF);
    high.Fill(0x0000FF, 0x80);
    EXPECT_EQ(0u, host_screen_display_pixel(25, 25)); // nothing posted yet
    ASSERT_EQ(0, high.Post());
    ASSERT_EQ(0, low.Post());
    EXPECT_EQ(0xFF0000u, host_screen_display_pixel(25, 25));
    EXPECT_EQ(0x7F0080u, host_screen_display_pixel(75, 75));   // half blue over red
    EXPECT_EQ(0x000080u, host_screen_display_pixel(125, 125)); // half blue over black
    EXPECT_EQ(0u, host_screen_display_pixel(175, 175));

    const int top = 3;
    screen_set_window_property_iv(low.window, SCREEN_PROPERTY_ZORDER, &top);
    EXPECT_EQ(0xFF0000u, host_screen_display_pixel(75, 75));
}

TEST_F(ScreenStandIn, PostsTakeOnlyTheirDirtyRectanglesAfterTheFirst)
{
    TestWindow w(10, 10, 100, 100, 0);
    w.Fill(0x112233, 0xFF);
    ASSERT_EQ(0, w.Post({0, 0, 1, 1})); // the first post shows all of it
    EXPECT_EQ(0x112233u, host_screen_display_pixel(60, 60));

    w.Fill(0x445566, 0xFF);
    ASSERT_EQ(0, w.Post({0, 0, 10, 10, 90, 90, 50, 50, 20, 20, -5, 5}));
    EXPECT_EQ(0x445566u, host_screen_display_pixel(10, 10));
    EXPECT_EQ(0x445566u, host_screen_display_pixel(19, 19));
    EXPECT_EQ(0x112233u, host_screen_display_pixel(20, 20));
    EXPECT_EQ(0x445566u, host_screen_display_pixel(109, 109)); // cut at the buffer's edge
    EXPECT_EQ(0x112233u, host_screen_display_pixel(30, 30));
    int rects[12];
    EXPECT_EQ(3, host_screen_last_post_rects(rects, 3));
    EXPECT_EQ(90, rects[4]);

    ASSERT_EQ(0, w.Post());
    EXPECT_EQ(0x445566u, host_screen_display_pixel(30, 30));
    EXPECT_EQ(0, host_screen_last_post_rects(rects, 3));
}

TEST_F(ScreenStandIn, PostTimeCountsTheWorkInsidePostsOnly)
{
    TestWindow w(0, 0, 400, 300, 0);
    const std::uint64_t before = host_screen_post_cpu_ns();
    w.Fill(0x112233, 0xFF);
    EXPECT_EQ(before, host_screen_post_cpu_ns());
    ASSERT_EQ(0, w.Post());
    EXPECT_GT(host_screen_post_cpu_ns(), before);
}

TEST_F(ScreenStandIn, BufferRowsArePaddedAndPropertiesReadBack)
{
    TestWindow w(0, 0, 33, 7, 4);
    EXPECT_GT(w.stride, 33 * 4);
    int size[2] = {0, 0};
    ASSERT_EQ(0, screen_get_buffer_property_iv(w.buffer, SCREEN_PROPERTY_BUFFER_SIZE, size));
    EXPECT_EQ(33, size[0]);
    EXPECT_EQ(7, size[1]);
    int zorder = 0;
    ASSERT_EQ(0, screen_get_window_property_iv(w.window, SCREEN_PROPERTY_ZORDER, &zorder));
    EXPECT_EQ(4, zorder);

    screen_window_t fresh = nullptr;
    ASSERT_EQ(0, screen_create_window(&fresh, w.context));
    ASSERT_EQ(0, screen_get_window_property_iv(fresh, SCREEN_PROPERTY_SIZE, size));
    EXPECT_EQ(400, size[0]); // a new window covers the display
    EXPECT_EQ(300, size[1]);
}

TEST_F(ScreenStandIn, UnknownHandlesPropertiesAndForeignBuffersFailWithEinval)
{
    TestWindow a(0, 0, 10, 10, 0);
    TestWindow b(0, 0, 10, 10, 0);
    int value[2];
    errno = 0;
    EXPECT_EQ(-1, screen_get_window_property_iv(a.window, 9999, value));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_EQ(-1, screen_post_window(a.window, b.buffer, 0, nullptr, 0));
    EXPECT_EQ(-1, screen_post_window(a.window, a.buffer, 1, nullptr, 0));
    EXPECT_EQ(-1, screen_create_window_buffers(a.window, 1)); // it has one already
    EXPECT_EQ(-1, screen_destroy_window(nullptr));

    screen_window_t gone = b.window;
    screen_buffer_t goneBuffer = b.buffer;
    ASSERT_EQ(0, screen_destroy_window(gone));
    EXPECT_EQ(-1, screen_get_window_property_iv(gone, SCREEN_PROPERTY_SIZE, value));
    EXPECT_EQ(-1, screen_destroy_buffer(goneBuffer));
}

TEST_F(ScreenStandIn, GetEventWaitsAtLeastItsTimeOutAndThenReportsNone)
{
    TestWindow w(0, 0, 10, 10, 0);
    screen_event_t event = nullptr;
    ASSERT_EQ(0, screen_create_event(&event));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(0, screen_get_event(w.context, event, 50000000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    int type = -1;
    screen_get_event_property_iv(event, SCREEN_PROPERTY_TYPE, &type);
    EXPECT_EQ(SCREEN_EVENT_NONE, type);

    const std::uint64_t waits = host_screen_event_waits();
    ASSERT_EQ(0, screen_get_event(w.context, event, 0));
    EXPECT_EQ(waits, host_screen_event_waits());
    screen_destroy_event(event);
}

TEST_F(ScreenStandIn, TouchGoesToTheTopmostShownWindowInItsCoordinates)
{
    TestWindow low(0, 0, 200, 200, 1);
    TestWindow high(100, 100, 50, 50, 2);
    EXPECT_EQ(-1, host_screen_press(10, 10, 0)); // nothing shown yet
    low.Post();
    high.Post();
    EXPECT_EQ(-1, host_screen_press(250, 250, 0));
    ASSERT_EQ(0, host_screen_inject_touch(SCREEN_EVENT_MTOUCH_TOUCH, 120, 130, 3));
    ASSERT_EQ(0, host_screen_inject_touch(SCREEN_EVENT_MTOUCH_TOUCH, 10, 20, 0));

    screen_event_t event = nullptr;
    ASSERT_EQ(0, screen_create_event(&event));
    int type = 0, id = -1, position[2] = {0, 0};
    ASSERT_EQ(0, screen_get_event(high.context, event, 0));
    screen_get_event_property_iv(event, SCREEN_PROPERTY_TYPE, &type);
    screen_get_event_property_iv(event, SCREEN_PROPERTY_TOUCH_ID, &id);
    screen_get_event_property_iv(event, SCREEN_PROPERTY_SOURCE_POSITION, position);
    EXPECT_EQ(SCREEN_EVENT_MTOUCH_TOUCH, type);
    EXPECT_EQ(3, id);
    EXPECT_EQ(20, position[0]);
    EXPECT_EQ(30, position[1]);
    ASSERT_EQ(0, screen_get_event(low.context, event, 0));
    screen_get_event_property_iv(event, SCREEN_PROPERTY_SOURCE_POSITION, position);
    EXPECT_EQ(10, position[0]);
    EXPECT_EQ(20, position[1]);
    screen_destroy_event(event);
}

TEST_F(ScreenStandIn, EventsCountAsTakenOnceTheQueueIsEmptyAndAThreadWaitsAgain)
{
    TestWindow w(0, 0, 10, 10, 0);
    w.Post();
    ASSERT_EQ(0, host_screen_press(5, 5, 0));
    EXPECT_EQ(0, host_screen_wait_for_events_taken(0)); // queued, and nobody waits
    // Takes the press, then waits for one more event.
    std::thread reader([&w] {
        screen_event_t event = nullptr;
        ASSERT_EQ(0, screen_create_event(&event));
        for (int taken = 0; taken < 3; ++taken) {
            ASSERT_EQ(0, screen_get_event(w.context, event, ~0ULL));
        }
        screen_destroy_event(event);
    });
    EXPECT_EQ(1, host_screen_wait_for_events_taken(30000));
    ASSERT_EQ(0, host_screen_press(5, 5, 0));
    reader.join();
    EXPECT_EQ(0, host_screen_wait_for_events_taken(0)); // the release is still queued
}

TEST_F(ScreenStandIn, FilmWritesEveryPostAsTheNextNumberedFrame)
{
    const std::string folder = TemporaryFolder();
    ASSERT_FALSE(folder.empty());
    {
        std::FILE* earlier = std::fopen((folder + "/frame-00007.png").c_str(), "wb");
        ASSERT_NE(nullptr, earlier);
        std::fclose(earlier);
    }
    ASSERT_EQ(0, host_screen_set_film_folder(folder.c_str()));
    {
        TestWindow w(0, 0, 100, 100, 0);
        w.Fill(0x102030, 0xFF);
        w.Post();
        w.Fill(0x405060, 0xFF, 0, 0, 10, 10);
        w.Post({0, 0, 10, 10});
    }
    host_screen_set_film_folder(nullptr);
    EXPECT_EQ(0x102030, PngPixel(folder + "/frame-00008.png", 50, 50));
    EXPECT_EQ(0x405060, PngPixel(folder + "/frame-00009.png", 5, 5));
    EXPECT_EQ(0x102030, PngPixel(folder + "/frame-00009.png", 50, 50));
    EXPECT_EQ(0, PngPixel(folder + "/frame-00010.png", 50, 50)); // the window went away
    for (const char* name :
         {"/frame-00007.png", "/frame-00008.png", "/frame-00009.png", "/frame-00010.png", "/display.lock"}) {
        std::remove((folder + name).c_str());
    }
    rmdir(folder.c_str());
}

// A viewer tells a display that still films from one whose process has gone
// by trying the folder's lock exclusively.
TEST_F(ScreenStandIn, FilmFolderStaysLockedWhileFilming)
{
    const std::string folder = TemporaryFolder();
    ASSERT_FALSE(folder.empty());
    const std::string lockPath = folder + "/display.lock";
    const auto viewerCanLock = [&lockPath] {
        const int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
        close(fd);
        return free;
    };
    ASSERT_EQ(0, host_screen_set_film_folder(folder.c_str()));
    EXPECT_FALSE(viewerCanLock());
    host_screen_set_film_folder(nullptr);
    EXPECT_TRUE(viewerCanLock());
    std::remove(lockPath.c_str());
    rmdir(folder.c_str());
}

TEST_F(ScreenStandIn, NamedPipeLinesBecomeTouchesWhileAContextExists)
{
    ASSERT_EQ(0, host_screen_context_count()); // the pipe opens with the first context
    const std::string folder = TemporaryFolder();
    const std::string path = folder + "/touch";
    setenv("UPGRADE_SCREEN_TOUCH", path.c_str(), 1);
    {
        TestWindow w(0, 0, 400, 300, 0);
        w.Post();
        struct stat info;
        ASSERT_EQ(0, stat(path.c_str(), &info));
        EXPECT_TRUE(S_ISFIFO(info.st_mode));
        const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        const std::string lines = "not a touch\n12 34\n1 2 3 4\n  56 78 1 \n";
        ASSERT_EQ(static_cast<ssize_t>(lines.size()), write(fd, lines.data(), lines.size()));
        close(fd);

        screen_event_t event = nullptr;
        ASSERT_EQ(0, screen_create_event(&event));
        const int expected[4][4] = {{SCREEN_EVENT_MTOUCH_TOUCH, 12, 34, 0},
                                    {SCREEN_EVENT_MTOUCH_RELEASE, 12, 34, 0},
                                    {SCREEN_EVENT_MTOUCH_TOUCH, 56, 78, 1},
                                    {SCREEN_EVENT_MTOUCH_RELEASE, 56, 78, 1}};
        for (const auto& e : expected) {
            ASSERT_EQ(0, screen_get_event(w.context, event, 20000000000ULL));
            int type = 0, id = -1, position[2] = {0, 0};
            screen_get_event_property_iv(event, SCREEN_PROPERTY_TYPE, &type);
            screen_get_event_property_iv(event, SCREEN_PROPERTY_TOUCH_ID, &id);
            screen_get_event_property_iv(event, SCREEN_PROPERTY_SOURCE_POSITION, position);
            EXPECT_EQ(e[0], type);
            EXPECT_EQ(e[1], position[0]);
            EXPECT_EQ(e[2], position[1]);
            EXPECT_EQ(e[3], id);
        }
        screen_destroy_event(event);
    }
    struct stat info;
    EXPECT_NE(0, stat(path.c_str(), &info)); // made by the stand-in, so removed with the last context
    unsetenv("UPGRADE_SCREEN_TOUCH");
    rmdir(folder.c_str());
}
} // namespace
