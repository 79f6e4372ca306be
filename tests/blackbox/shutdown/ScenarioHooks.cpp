// The scenario's own shutdown hooks: a classification by name prefix, a
// scripted prompt, and reports of progress, errors and the end of the pass.
//   "app-*" applications, "gui-*" graphical applications, "nr-*" CLASS_NR.
//   "gone-*" applications that the harness ends and collects as soon as the
//   sequence has listed them, so that their turn finds no process.
//   SCENARIO_PROMPT: the prompt's answers in turn, e.g. "1,0"; the last repeats.
// Every kill() of the harness is reported as "kill <pid> <signal>" before it
// is made, so a scenario sees the signals sent to processes that are gone.
#include "ScenarioReport.h"
#include "shutdown_system.h"

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int promptCalls = 0;

int PromptAnswer(int call)
{
    const char* script = std::getenv("SCENARIO_PROMPT");
    if (script == nullptr) {
        return 2;
    }
    int answer = 2;
    int index = 0;
    for (const char* at = script; *at != '\0'; ++index) {
        char* end = nullptr;
        answer = static_cast<int>(std::strtol(at, &end, 10));
        if (index == call || end == at) {
            break;
        }
        at = *end == ',' ? end + 1 : end;
    }
    return answer;
}

} // namespace

extern "C" int kill(pid_t pid, int signal)
{
    char process[24];
    char number[24];
    std::snprintf(process, sizeof process, "%d", static_cast<int>(pid));
    std::snprintf(number, sizeof number, "%d", signal);
    scenario::Report("kill", process, number);
    return static_cast<int>(syscall(SYS_kill, pid, signal));
}

extern "C" ProcessClass_t shutdown_classify(const ProcessInfo_t* pip)
{
    if (std::strncmp(pip->name, "gone-", 5) == 0) {
        syscall(SYS_kill, pip->pid, SIGKILL);
        // Collected here or by the harness's own handler: gone either way.
        while (waitpid(pip->pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        scenario::ReportNumber(pip->name, "gone", pip->pid);
        return CLASS_APP;
    }
    if (std::strncmp(pip->name, "app-", 4) == 0) {
        return CLASS_APP;
    }
    if (std::strncmp(pip->name, "gui-", 4) == 0) {
        return CLASS_GRAPHICAL_APP;
    }
    if (std::strncmp(pip->name, "nr-", 3) == 0) {
        return CLASS_NR;
    }
    return CLASS_UNKNOWN;
}

extern "C" int shutdown_prompt(const char* name, pid_t)
{
    scenario::Report("prompt", name);
    return PromptAnswer(promptCalls++);
}

extern "C" void shutdown_done(int type)
{
    scenario::ReportNumber("hook", "done", type);
}

extern "C" void shutdown_error(const char* msg)
{
    scenario::Report("hook", "error", msg);
}

extern "C" void shutdown_progress(int done, int total)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d/%d", done, total);
    scenario::Report("hook", "progress", text);
}
