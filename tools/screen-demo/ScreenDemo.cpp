// screen-demo [--resources DIR] [--timeout SECONDS] [--progress] PAGE [LEFT TOP RIGHT BOTTOM]
//
// Shows PAGE (a compiled-in path or a file) on the screen. With --resources,
// every file DIR/<folder>/<name> is first registered as the compiled-in file
// "/Upgrade/qnxupgrade/<folder>/<name>", as the program's own table would.
// --progress runs the progress bar and percentage of the english layout
// from 0 to 100. With a button box, waits for a touch on it (at most
// --timeout seconds, 60 by default) and prints the touch result: 3 for the
// button, 5 when the time ran out. Exit status 0 when the button was
// touched, 1 when not, 2 when the page could not be shown or the command
// line is wrong.
#include "QnxEmbeddedFiles.h"
#include "QnxScreenPresenter.h"

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {
std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name);
            }
        }
        closedir(dir);
    }
    return names;
}

// The bytes stay alive for the whole run, as compiled-in data would.
void RegisterResources(const std::string& root, std::list<std::vector<unsigned char>>& kept)
{
    for (const std::string& folder : Entries(root)) {
        for (const std::string& name : Entries(root + "/" + folder)) {
            std::ifstream file(root + "/" + folder + "/" + name, std::ios::binary);
            if (!file) {
                continue;
            }
            kept.emplace_back((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            const QnxEmbeddedFiles::KeyAndResource row{
                "/Upgrade/qnxupgrade/" + folder + "/" + name,
                {kept.back().data(), static_cast<std::int32_t>(kept.back().size())}};
            QnxEmbeddedFiles::AddResources(&row, 1);
        }
    }
}

int Usage()
{
    std::fprintf(stderr, "usage: screen-demo [--resources DIR] [--timeout SECONDS] [--progress] PAGE "
                         "[LEFT TOP RIGHT BOTTOM]\n");
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    std::string resources;
    long timeoutSeconds = 60;
    bool progress = false;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--resources" && i + 1 < argc) {
            resources = argv[++i];
        } else if (arg == "--timeout" && i + 1 < argc) {
            timeoutSeconds = std::strtol(argv[++i], nullptr, 10);
        } else if (arg == "--progress") {
            progress = true;
        } else if (arg.rfind("--", 0) == 0) {
            return Usage();
        } else {
            rest.push_back(arg);
        }
    }
    if ((rest.size() != 1 && rest.size() != 5) || timeoutSeconds < 1) {
        return Usage();
    }

    std::list<std::vector<unsigned char>> kept;
    if (!resources.empty()) {
        RegisterResources(resources, kept);
    }

    QnxScreenPresenter presenter(2);
    if (!presenter.Present(rest[0])) {
        std::fprintf(stderr, "screen-demo: %s could not be shown\n", rest[0].c_str());
        return 2;
    }
    if (progress) {
        for (unsigned percent = 0; percent <= 100; percent += 5) {
            presenter.OverlayProgressBar({182, 238, 842, 263}, "#043F8D", static_cast<unsigned char>(percent));
            presenter.OverlayPercentageNumber({343, 198, 1004, 218}, static_cast<unsigned char>(percent));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    if (rest.size() == 1) {
        return 0;
    }

    int box[4];
    for (int k = 0; k < 4; ++k) {
        box[k] = static_cast<int>(std::strtol(rest[static_cast<size_t>(k) + 1].c_str(), nullptr, 10));
    }

    // Ends the wait when the time is up, as the printer's restart timer does.
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread timer([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!finished.wait_for(lock, std::chrono::seconds(timeoutSeconds), [&] { return done; })) {
            presenter.SetExitScreen(true);
        }
    });
    const ButtonId result = presenter.HandleEvents({{ButtonId::ConfirmButton, box[0], box[1], box[2], box[3]}});
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    finished.notify_one();
    timer.join();
    std::printf("%d\n", static_cast<int>(result));
    return result == ButtonId::ConfirmButton ? 0 : 1;
}
