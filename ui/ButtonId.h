#pragma once

#include <cstdint>

// The result of waiting for a touch on a page: which button was touched, or
// NoButton when the wait ended without one (the page could not be shown, the
// pages are confirmed automatically, or the wait was asked to end).
enum class ButtonId : std::int32_t
{
    FailedPageButton = 0,             // the single button of the system-upgrade failure page (main mode)
    PromptSecondButton = 1,           // the second button of the upgrade prompt
    PromptFirstButton = 2,            // the first button of the upgrade prompt
    ConfirmButton = 3,                // the single button of the success and Wi-Fi result pages
    NotFoundOrIncompatibleButton = 4, // the single button of the no-upgrade and not-compatible pages (main mode)
    NoButton = 5,
};
