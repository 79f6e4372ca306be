#pragma once

#include <string>

// Power control of the platform. The printer has none that this program
// uses: every operation does nothing.
class PowerManagement
{
public:
    enum PowerModes : int
    {
        PowerModeOn = 0,
        PowerModeStandby = 1,
        PowerModeSuspend = 2,
        PowerModeOff = 3
    };

    PowerManagement() = default;
    virtual ~PowerManagement();

    PowerManagement(const PowerManagement&) = delete;
    PowerManagement& operator=(const PowerManagement&) = delete;

    virtual void SuspendSystem() const;
    virtual void PowerOffSystem() const;
    virtual void ResetActivityTimers() const;
    virtual void SetPowerEvent(const std::wstring& event) const;
    virtual void SetSleepTime(unsigned int seconds, PowerModes mode) const;
};
