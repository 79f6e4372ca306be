// A program with a display of its own for the slay stand-in's tests: shows
// one window of a single colour, prints "ready", then answers one command
// per line of standard input until it ends:
//   report       prints "<display running> <window count> <pixel at (10, 10)>" (white while shown)
//   slay NAME    runs the stand-in with "-f NAME" as SlayScreen does; prints "status N"
#include "SlayScreen.h"

#include <screen/host_display.h>
#include <screen/screen.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <sys/wait.h>

int main()
{
    screen_context_t context = nullptr;
    screen_window_t window = nullptr;
    screen_buffer_t buffer = nullptr;
    if (screen_create_context(&context, SCREEN_APPLICATION_CONTEXT) != 0 ||
        screen_create_window(&window, context) != 0 || screen_create_window_buffers(window, 1) != 0 ||
        screen_dequeue_window_render_buffer(&buffer, window, 0) != 0) {
        return 1;
    }
    void* pixels = nullptr;
    int stride = 0;
    screen_get_buffer_property_pv(buffer, SCREEN_PROPERTY_POINTER, &pixels);
    screen_get_buffer_property_iv(buffer, SCREEN_PROPERTY_STRIDE, &stride);
    std::memset(pixels, 0xFF, static_cast<std::size_t>(stride) * 600);
    if (screen_post_window(window, buffer, 0, nullptr, 0) != 0) {
        return 1;
    }

    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "report") {
            std::cout << host_screen_display_running() << " " << host_screen_window_count() << " "
                      << host_screen_display_pixel(10, 10) << std::endl;
        } else if (line.rfind("slay ", 0) == 0) {
            const int status = std::system((QnxUpgradeCommon::SlayProgram() + " -f " + line.substr(5)).c_str());
            std::cout << "status " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1) << std::endl;
        }
    }
    screen_destroy_context(context);
    return 0;
}
