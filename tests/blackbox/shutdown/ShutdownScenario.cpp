// Runs one shutdown scenario inside the sandbox: starts children with chosen
// names, sessions, connections and critical marks, describes them to the
// process stand-ins, then runs the shutdown sequence (or the OS utilities'
// restart) and reports, through its SIGCHLD handler, how each child ended.
//
//   shutdown_scenario [--type N] [--flags N] [--reason TEXT] [--restart] [--kill PID] [--spacing MS] CHILD...
// "--kill PID" hands PID to the OS utilities' KillProcessById instead of
// running the sequence, and reports the result.
//   CHILD: NAME[,term=exit|ignore|slow:MS][,critical][,daemon][,session1][,connect=K][,remote=K]
// Each child leads a session of its own; "session1" keeps it in the
// harness's, which is the sandbox's session 1. "daemon" sets the daemon
// process flag. K is the position of another child (0 = the first);
// "remote=K" records a connection to child K on another node.
#include "ScenarioReport.h"
#include "ScenarioRestart.h"
#include "shutdown_system.h"

#include <host_process.h>

#include <poll.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int MaximumChildren = 128;

struct ChildSpec
{
    std::string name;
    std::string mode = "exit";
    bool critical = false;
    bool daemon = false;
    bool session = false;
    std::vector<int> connects;
    std::vector<int> remotes;
};

// Read by the SIGCHLD handler: written only before any child starts.
pid_t childPids[MaximumChildren];
char childNames[MaximumChildren][128];
int childCount = 0;

const char* NameOf(pid_t pid)
{
    for (int i = 0; i < childCount; ++i) {
        if (childPids[i] == pid) {
            return childNames[i];
        }
    }
    return "other";
}

void OnChildEnded(int)
{
    const int saved = errno;
    int status = 0;
    pid_t pid;
    while ((pid = waitpid(-1, &status, WNOHANG)) > 0) {
        if (WIFSIGNALED(status)) {
            scenario::ReportNumber(NameOf(pid), "killed", WTERMSIG(status));
        } else {
            scenario::ReportNumber(NameOf(pid), "exited", WEXITSTATUS(status));
        }
    }
    errno = saved;
}

// Reports the destruction of the harness's static objects: a return from
// main runs it, an end from inside the sequence must not.
struct StaticDestructionReport
{
    StaticDestructionReport() = default;
    StaticDestructionReport(const StaticDestructionReport&) = delete;
    StaticDestructionReport& operator=(const StaticDestructionReport&) = delete;
    ~StaticDestructionReport() { scenario::Report("harness", "static-destructors"); }
} staticDestructionReport;

bool ParseChild(const std::string& text, ChildSpec* child)
{
    size_t start = 0;
    size_t comma = text.find(',');
    child->name = text.substr(0, comma);
    while (comma != std::string::npos) {
        start = comma + 1;
        comma = text.find(',', start);
        const std::string option = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (option.rfind("term=", 0) == 0) {
            child->mode = option.substr(5);
        } else if (option == "critical") {
            child->critical = true;
        } else if (option == "daemon") {
            child->daemon = true;
        } else if (option == "session1") {
            child->session = true;
        } else if (option.rfind("connect=", 0) == 0) {
            child->connects.push_back(std::atoi(option.c_str() + 8));
        } else if (option.rfind("remote=", 0) == 0) {
            child->remotes.push_back(std::atoi(option.c_str() + 7));
        } else {
            return false;
        }
    }
    return !child->name.empty() && child->name.size() < sizeof childNames[0];
}

std::string ChildProgram()
{
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, length > 0 ? static_cast<size_t>(length) : 0u);
    return path.substr(0, path.rfind('/') + 1) + "shutdown_child";
}

pid_t StartChild(const std::string& program, const ChildSpec& child)
{
    int ready[2];
    if (pipe(ready) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        if (ready[1] != 3) {
            dup2(ready[1], 3);
            close(ready[1]);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(child.name.c_str()));
        argv.push_back(const_cast<char*>(child.mode.c_str()));
        if (child.session) {
            argv.push_back(const_cast<char*>("inherit-session"));
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(ready[1]);
    if (pid > 0) {
        pollfd wait{ready[0], POLLIN, 0};
        char byte = 0;
        if (poll(&wait, 1, 20000) != 1 || read(ready[0], &byte, 1) != 1) {
            std::fprintf(stderr, "scenario: child %s did not get ready\n", child.name.c_str());
        }
    }
    close(ready[0]);
    return pid;
}

bool WriteDescription(const std::vector<ChildSpec>& children)
{
    const char* path = "/tmp/scenario-processes";
    FILE* file = std::fopen(path, "w");
    if (file == nullptr) {
        return false;
    }
    for (int i = 0; i < childCount; ++i) {
        const ChildSpec& child = children[static_cast<size_t>(i)];
        if (child.critical) {
            std::fprintf(file, "%d critical\n", childPids[i]);
        }
        if (child.daemon) {
            std::fprintf(file, "%d flags 0x1000\n", childPids[i]);
        }
        for (int k : child.connects) {
            if (k >= 0 && k < childCount) {
                std::fprintf(file, "%d connect %d\n", childPids[i], childPids[k]);
            }
        }
        for (int k : child.remotes) {
            if (k >= 0 && k < childCount) {
                std::fprintf(file, "%d remote 7 %d\n", childPids[i], childPids[k]);
            }
        }
    }
    std::fclose(file);
    return setenv(HOST_PROCESS_DESCRIPTION_ENV, path, 1) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    int type = SHUTDOWN_REBOOT;
    int flags = 0;
    const char* reason = nullptr;
    bool restart = false;
    bool killOnly = false;
    int killPid = 0;
    long spacingMs = 20;
    std::vector<ChildSpec> children;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--type" && i + 1 < argc) {
            type = std::atoi(argv[++i]);
        } else if (argument == "--flags" && i + 1 < argc) {
            flags = static_cast<int>(std::strtol(argv[++i], nullptr, 0));
        } else if (argument == "--reason" && i + 1 < argc) {
            reason = argv[++i];
        } else if (argument == "--restart") {
            restart = true;
        } else if (argument == "--kill" && i + 1 < argc) {
            killOnly = true;
            killPid = std::atoi(argv[++i]);
        } else if (argument == "--spacing" && i + 1 < argc) {
            spacingMs = std::atol(argv[++i]);
        } else {
            ChildSpec child;
            if (!ParseChild(argument, &child) || children.size() >= MaximumChildren) {
                std::fprintf(stderr, "scenario: bad child %s\n", argument.c_str());
                return 2;
            }
            children.push_back(child);
        }
    }

    scenario::OpenReport();
    // A known working folder, which the daemon detach replaces by the root.
    if (chdir("/ramdisk") != 0) {
        return 2;
    }
    struct sigaction action = {};
    action.sa_handler = OnChildEnded;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigaction(SIGCHLD, &action, nullptr);

    // Children are recorded before they can end, so the handler knows them.
    sigset_t childSignal;
    sigemptyset(&childSignal);
    sigaddset(&childSignal, SIGCHLD);
    const std::string program = ChildProgram();
    for (const ChildSpec& child : children) {
        sigprocmask(SIG_BLOCK, &childSignal, nullptr);
        const pid_t pid = StartChild(program, child);
        std::snprintf(childNames[childCount], sizeof childNames[0], "%s", child.name.c_str());
        childPids[childCount++] = pid;
        sigprocmask(SIG_UNBLOCK, &childSignal, nullptr);
        if (pid < 0) {
            return 2;
        }
        if (spacingMs > 0) {
            const timespec pause{spacingMs / 1000, (spacingMs % 1000) * 1000000L};
            nanosleep(&pause, nullptr);
        }
    }
    if (!WriteDescription(children)) {
        return 2;
    }

    if (killOnly) {
        scenario::ReportNumber("harness", "kill-result", scenario::KillThroughOSUtilities(killPid) ? 1 : 0);
        return 0;
    }
    scenario::Report("harness", "shutdown");
    if (restart) {
        scenario::RestartThroughOSUtilities();
    } else if (reason != nullptr) {
        shutdown_system_with_reason(type, flags, const_cast<char*>(reason));
    } else {
        shutdown_system(type, flags);
    }
    scenario::Report("harness", "returned");
    return 3;
}
