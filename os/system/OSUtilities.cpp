#include "OSUtilities.h"

OSUtilities::~OSUtilities() = default;

std::vector<std::string> OSUtilities::GetSystemFonts() const
{
    return {};
}

int OSUtilities::RunProcess(const std::string&, const std::vector<std::string>&, int&, unsigned int, unsigned int,
                            const std::string&, const std::string&) const
{
    return 0;
}

PropertyList OSUtilities::GetOSProperties() const
{
    return {};
}

PropertyList OSUtilities::GetSDKProperties() const
{
    return {};
}

bool OSUtilities::LockFile(FILE*, bool) const
{
    return false;
}

bool OSUtilities::UnlockFile(FILE*) const
{
    return false;
}

std::string OSUtilities::GetCurrentThreadName() const
{
    return {};
}

void OSUtilities::SetTimeZone(const std::string&) const
{}

std::string OSUtilities::GetProgramDataFolder() const
{
    return {};
}

void OSUtilities::RestartSystem() const
{}

int OSUtilities::GetProcessIdByName(const std::string&) const
{
    return 0;
}

bool OSUtilities::KillProcessById(int) const
{
    return false;
}
