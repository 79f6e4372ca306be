#pragma once

#include <memory>

class QnxUpgradeUIPageManager;

// The supervisor's only door to the screen during a Wi-Fi module upgrade.
//
// Construction registers the program's compiled-in resources (once per
// process; later registrations keep the first rows), reads the installed
// build from the board EEPROM and the display language from the preference
// file, and leaves the in-progress page on screen. The Prompt operations show
// the success or failure page and wait for a touch on its button; a touch
// stops the touch driver and the compositor ("slay") and closes the window.
// With auto-confirm the result pages are not shown and the Prompt operations
// return at once. Failures are not reported: a page that cannot be shown
// makes its Prompt call return with nothing done.
//
// Threads: the constructor and the Prompt operations run on one thread at a
// time (the Prompt calls block it while their page waits); ExitUiScreen may
// be called from any thread. A constructor step that throws destroys the page
// manager and the exception leaves the constructor.
class RadioFlashMonitorUi
{
public:
    RadioFlashMonitorUi(bool autoConfirm, bool recoveryMode);
    ~RadioFlashMonitorUi();

    RadioFlashMonitorUi(const RadioFlashMonitorUi&) = delete;
    RadioFlashMonitorUi& operator=(const RadioFlashMonitorUi&) = delete;

    // The success page (15), until its button is touched or ExitUiScreen.
    void PromptSystemToReboot();
    // The failure page (17), likewise.
    void PromptUpgradeFail();
    // Ends a running touch wait within about a second; without one, the next
    // Prompt call shows its page and returns at once.
    void ExitUiScreen();

private:
    // After a touch on the button: the touch driver and the compositor are
    // stopped and the window is destroyed.
    void CloseAfterConfirm();

    std::unique_ptr<QnxUpgradeUIPageManager> pageManager;
};
