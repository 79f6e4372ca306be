// The scenario's own shutdown hooks: a classification by name prefix, a
// scripted prompt, and reports of progress, errors and the end of the pass.
//   "app-*" applications, "gui-*" graphical applications, "nr-*" CLASS_NR.
//   SCENARIO_PROMPT: the prompt's answers in turn, e.g. "1,0"; the last repeats.
#include "ScenarioReport.h"
#include "shutdown_system.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int promptCalls = 0;

int PromptAnswer(int call)
{
    const char* script = std::getenv("SCENARIO_PROMPT");
    if (script == nullptr)
        return 2;
    int answer = 2;
    int index = 0;
    for (const char* at = script; *at != '\0'; ++index) {
        char* end = nullptr;
        answer = static_cast<int>(std::strtol(at, &end, 10));
        if (index == call || end == at)
            break;
        at = *end == ',' ? end + 1 : end;
    }
    return answer;
}

} // namespace

extern "C" ProcessClass_t shutdown_classify(const ProcessInfo_t* pip)
{
    if (std::strncmp(pip->name, "app-", 4) == 0)
        return CLASS_APP;
    if (std::strncmp(pip->name, "gui-", 4) == 0)
        return CLASS_GRAPHICAL_APP;
    if (std::strncmp(pip->name, "nr-", 3) == 0)
        return CLASS_NR;
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
