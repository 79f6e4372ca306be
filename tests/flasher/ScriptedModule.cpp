#include "ScriptedModule.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

using FlasherProtocol::Bytes;

ScriptedModule::ScriptedModule(int moduleSide, Script script)
    : fd_(moduleSide), script_(std::move(script)), thread_([this] { Run(); })
{}

ScriptedModule::~ScriptedModule()
{
    stop_ = true;
    thread_.join();
}

void ScriptedModule::Run()
{
    Bytes inbox;
    while (!stop_) {
        pollfd fd{fd_, POLLIN, 0};
        const int ready = poll(&fd, 1, 20);
        if (ready <= 0 || (fd.revents & POLLIN) == 0) {
            if (ready > 0) {
                // Nobody holds the serial side (POLLHUP): wait for the next opener.
                usleep(10000);
            }
            continue;
        }
        std::uint8_t block[4096];
        const ssize_t n = read(fd_, block, sizeof block);
        if (n <= 0) {
            usleep(10000);
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.insert(received_.end(), block, block + n);
        }
        inbox.insert(inbox.end(), block, block + n);
        script_(*this, inbox);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            handled_.insert(handled_.end(), block, block + n);
        }
        handledChanged_.notify_all();
    }
}

void ScriptedModule::Send(const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

Bytes ScriptedModule::Received() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

bool ScriptedModule::WaitUntilHandled(const std::function<bool(const Bytes&)>& condition,
                                      std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return handledChanged_.wait_for(lock, timeout, [this, &condition] { return condition(handled_); });
}

bool TakeLine(Bytes& inbox, std::string& line)
{
    const auto end =
        std::search(inbox.begin(), inbox.end(), FlasherProtocol::Crnl.begin(), FlasherProtocol::Crnl.end());
    if (end == inbox.end()) {
        return false;
    }
    line.assign(inbox.begin(), end);
    inbox.erase(inbox.begin(), end + 2);
    return true;
}

ScriptedModule::Script ScriptedModule::VersionModule(std::string reply)
{
    return [reply](ScriptedModule& module, Bytes& inbox) {
        std::string line;
        while (TakeLine(inbox, line)) {
            module.Send(line == "AT+VER=?" ? reply : std::string("OK\r\n"));
        }
    };
}
