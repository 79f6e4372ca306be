#include "PowerManagement.h"

PowerManagement::~PowerManagement() = default;

void PowerManagement::SuspendSystem() const
{}

void PowerManagement::PowerOffSystem() const
{}

void PowerManagement::ResetActivityTimers() const
{}

void PowerManagement::SetPowerEvent(const std::wstring&) const
{}

void PowerManagement::SetSleepTime(unsigned int, PowerModes) const
{}
