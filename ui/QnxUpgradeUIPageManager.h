#pragma once

#include "ButtonId.h"
#include "QnxEEPromHandler.h"
#include "QnxScreenPresenter.h"
#include "QnxUpgradeProperties.h"
#include "VexaJsonFileReader.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class I2CBus;

// The pages of the upgrade screens, by their place in the page table.
enum class UpgradeScreen : std::int32_t
{
    PromptUserForUpgrade = 0,
    ShowUpgradeIsInProgress = 1,
    UpgradingWithProgressBar = 2,
    UpgradeSucceeded = 3,
    UpgradeFailed = 4,
    NoUpgradeFileFound = 5,
    UpgradeNotCompatible = 6,
    RecoveryModeUpgrade = 7,
    WifiUpgrading = 8,
    WifiUpgradeSucceeded = 9,
    WifiUpgradeFail = 10,
    WifiUpgradeContinuing = 11,
};

// Page path templates; "{}" stands for the language folder.
inline constexpr const char* PromptUserForUpgradeImagePath = "/Upgrade/qnxupgrade/{}/0.png";
inline constexpr const char* ShowUpgradeIsInProgress = "/Upgrade/qnxupgrade/{}/10.png";
inline constexpr const char* UpgradingWithProgressBar = "/Upgrade/qnxupgrade/{}/6.png";
inline constexpr const char* UpgradeSucceeded = "/Upgrade/qnxupgrade/{}/7.png";
inline constexpr const char* UpgradeFailedMain = "/Upgrade/qnxupgrade/{}/8.png";
inline constexpr const char* UpgradeFailedRecovery = "/Upgrade/qnxupgrade/{}/11.png";
inline constexpr const char* NoUpgradeFileFoundMain = "/Upgrade/qnxupgrade/{}/2.png";
inline constexpr const char* NoUpgradeFileFoundRecovery = "/Upgrade/qnxupgrade/{}/14.png";
inline constexpr const char* UpgradeNotCompatibleMain = "/Upgrade/qnxupgrade/{}/1.png";
inline constexpr const char* UpgradeNotCompatibleRecovery = "/Upgrade/qnxupgrade/{}/13.png";
inline constexpr const char* RecoveryModeUpgrade = "/Upgrade/qnxupgrade/{}/12.png";
inline constexpr const char* WifiUpgrading = "/Upgrade/qnxupgrade/{}/16.png";
inline constexpr const char* WifiUpgradeSucceeded = "/Upgrade/qnxupgrade/{}/15.png";
inline constexpr const char* WifiUpgradeFail = "/Upgrade/qnxupgrade/{}/17.png";
inline constexpr const char* WifiUpgradeContinuing = "/Upgrade/qnxupgrade/{}/18.png";

// The layout file of a language folder, its groups and the boxes read from them.
inline constexpr const char* CoordinatesFileName = "/Upgrade/qnxupgrade/{}/coordinates.json";
inline constexpr const char* Button = "buttons";
inline constexpr const char* VersionTag = "version";
inline constexpr const char* LoadingBar = "loadingBar";
inline constexpr const char* Percentage = "percentage";
inline constexpr const char* ButtonOne = "button_one_bbox";
inline constexpr const char* ButtonTwo = "button_two_bbox";
inline constexpr const char* Updating = "6_loading_bar_bbox";
inline constexpr const char* UpdatePercentage = "6_percentage_bbox";
inline constexpr const char* PromptUserVersion = "0_version_bbox";
inline constexpr const char* UpgradeNotCompatibleVersionMain = "1_version_bbox";
inline constexpr const char* NoUpgradeFoundVersion = "4_version_bbox";
inline constexpr const char* UpgradeFailedVersionRecovery = "11_version_bbox";
inline constexpr const char* RecoveryModePage = "12_version_bbox";
inline constexpr const char* UpgradeNotCompatibleVersionRecovery = "13_version_bbox";
// The progress bar's colour.
inline constexpr const char* progressColor = "#043F8D";

// The upgrade pages: which picture each page is in the display language,
// where its buttons, version text, progress bar and percentage sit (the
// layout file of the language), and which touch result each button gives.
// Owns the presenter (and with it the window), the language setting, the
// layout file parsed last and the EEPROM handler that gives the installed
// version.
//
// Pages that wait for a touch return the button's ButtonId, or NoButton when
// the pages are confirmed automatically (nothing is shown), the picture
// cannot be loaded, or ExitScreen ended the wait. A page whose layout file or
// button box is missing is shown without targets and waits for ExitScreen.
// Pages without a wait leave the previous picture when theirs cannot be
// loaded. The pictures of the system-upgrade pages are looked up at their
// paths on disk when they are not compiled in.
//
// Threads: one thread calls the page operations; ExitScreen may come from
// any thread.
class QnxUpgradeUIPageManager
{
public:
    // The presenter's window gets zOrder; the EEPROM handler looks for the
    // board EEPROM on I2C bus 0.
    QnxUpgradeUIPageManager(bool recoveryMode, int zOrder, bool autoConfirm);
    // The same with the board EEPROM on a bus of the caller's.
    QnxUpgradeUIPageManager(bool recoveryMode, int zOrder, bool autoConfirm, std::shared_ptr<I2CBus> bus);
    ~QnxUpgradeUIPageManager();

    QnxUpgradeUIPageManager(const QnxUpgradeUIPageManager&) = delete;
    QnxUpgradeUIPageManager& operator=(const QnxUpgradeUIPageManager&) = delete;

    // Reads the display language from the preference file.
    void InitLanguage();

    void SetCurrentVersion(const std::string& version);
    // The stored version; reads it from the EEPROM first while it is empty.
    std::string GetCurrentVersion();
    // Stores the "BuildNumber" of the board's build record (empty when the
    // EEPROM, the record or the member is missing). In recovery mode a valid
    // version whose patch is not 0 is stored with the patch one lower.
    void ExtractVersionFromEEprom();

    // One box (left, top, right, bottom) of the layout file: pathTemplate with
    // the language folder, parsed afresh (compiled-in bytes when the path is
    // compiled in, else the file). Empty when the file is missing or does not
    // parse, or when the group, the box or its array is missing.
    std::vector<unsigned> ImportBbox(const std::string& pathTemplate, const std::string& group, const std::string& box);

    // Pages without a wait.
    void WifiUpgradeInProgress();
    void WifiUpgradeContinue();
    void ShowInProgress();
    // The progress page with "0%" in its percentage box.
    void UpgradeInProgress();
    // The recovery-mode page with the version; main mode has no such page
    // and shows nothing. Shown even when the pages are confirmed automatically.
    void ShowRecoveryMode();

    // Pages with a touch wait.
    ButtonId WifiUpgradeSuccessful();
    ButtonId WifiUpgradeFailed();
    ButtonId PromptUserToUpgrade();
    ButtonId UpgradeSuccessful();
    ButtonId UpgradeFailed();
    ButtonId NoUpgradeFound();
    ButtonId UpdgradeNotCompatibleWithPrinter();

    // Fills the progress bar up to percent and shows the percentage.
    void UpdateProgressBar(unsigned char percent);

    // Ends a running touch wait within about a second (or the next one at
    // once). Safe from any thread.
    void ExitScreen();
    // Destroys the window; a later page creates a new one.
    void CloseUpgradeUi();
    bool UpgradeUIExists() const;

    // The template of a page; a page missing from the table is entered with
    // an empty template, whose path loads nothing.
    const std::string& PageTemplate(UpgradeScreen page);
    const std::map<UpgradeScreen, std::string>& PageTable() const { return pages_; }

private:
    // One touch target of a result page: the button box it answers and its id.
    struct PageButton
    {
        const char* box;
        ButtonId id;
    };

    void FillPageTable();
    std::string PagePath(UpgradeScreen page);
    // Targets for the buttons; none unless every box is in the layout.
    std::vector<TouchTarget> TargetsFor(const std::vector<PageButton>& buttons);
    // A page that waits for a touch: its picture, its buttons and the box its
    // version text goes in (null: no version text).
    struct TouchPage
    {
        UpgradeScreen page;
        std::vector<PageButton> buttons;
        const char* versionBox;
        // The version text is drawn only when the buttons are in the layout.
        bool versionNeedsButtons = false;
        // The window comes up before the picture is loaded, and stays when
        // the picture cannot be.
        bool windowBeforePicture = false;
    };

    void DrawVersion(const char* box);
    // Loads the page's picture, copies it to the window (creating the window
    // when there is none), draws the version into versionBox (unless null)
    // and posts; false when the picture cannot be loaded.
    bool ShowPicture(UpgradeScreen page, const char* versionBox);
    // Nothing when the pages are confirmed automatically; else shows the
    // page and waits for a touch on its buttons.
    ButtonId ShowAndWait(const TouchPage& page);
    // A result page: one button, whose id depends on the mode.
    TouchPage ResultPage(UpgradeScreen page, ButtonId recoveryId, ButtonId mainId, const char* versionBox) const;

    std::map<UpgradeScreen, std::string> pages_;
    std::unique_ptr<QnxScreenPresenter> presenter_;
    bool recoveryMode_;
    std::string currentVersion_;
    std::unique_ptr<VexaJsonFileReader> layoutReader_;
    QnxUpgradeProperties properties_;
    QnxEEPromHandler eepromHandler_;
    bool autoConfirm_;
};
