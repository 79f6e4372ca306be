#include "QnxUpgradeUIPageManager.h"

#include "BoardRecord.h"
#include "I2CBus.h"
#include "QnxEmbeddedFiles.h"
#include "QnxUpgradeCommon.h"
#include "Version.h"

#include <rapidjson/document.h>

#include <utility>

namespace {
// In recovery mode the pages name the build before the installed one: a
// valid version with a patch above 0 is shown with the patch one lower.
std::string RecoveryModeVersion(const std::string& stored)
{
    if (!Version::IsValidVersionString(stored)) {
        return stored;
    }
    const Version version(stored);
    if (version.patch == 0) {
        return stored;
    }
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.patch - 1);
}

// A box needs its four edges; a shorter array in a layout file is no box.
bool IsBox(const std::vector<unsigned>& box)
{
    return box.size() >= 4;
}
} // namespace

QnxUpgradeUIPageManager::QnxUpgradeUIPageManager(bool recoveryMode, int zOrder, bool autoConfirm)
    : presenter_(std::make_unique<QnxScreenPresenter>(zOrder)), recoveryMode_(recoveryMode), autoConfirm_(autoConfirm)
{
    FillPageTable();
}

QnxUpgradeUIPageManager::QnxUpgradeUIPageManager(bool recoveryMode, int zOrder, bool autoConfirm,
                                                 std::shared_ptr<I2CBus> bus)
    : presenter_(std::make_unique<QnxScreenPresenter>(zOrder)), recoveryMode_(recoveryMode),
      eepromHandler_(std::move(bus), QnxEEPromHandler::EEPromLocation::StandardBoard), autoConfirm_(autoConfirm)
{
    FillPageTable();
}

QnxUpgradeUIPageManager::~QnxUpgradeUIPageManager() = default;

void QnxUpgradeUIPageManager::FillPageTable()
{
    using Page = UpgradeScreen;
    pages_.emplace(Page::PromptUserForUpgrade, PromptUserForUpgradeImagePath);
    pages_.emplace(Page::ShowUpgradeIsInProgress, ShowUpgradeIsInProgress);
    pages_.emplace(Page::UpgradingWithProgressBar, UpgradingWithProgressBar);
    pages_.emplace(Page::UpgradeSucceeded, UpgradeSucceeded);
    pages_.emplace(Page::WifiUpgradeFail, WifiUpgradeFail);
    pages_.emplace(Page::WifiUpgradeSucceeded, WifiUpgradeSucceeded);
    pages_.emplace(Page::WifiUpgrading, WifiUpgrading);
    pages_.emplace(Page::WifiUpgradeContinuing, WifiUpgradeContinuing);
    if (recoveryMode_) {
        pages_.emplace(Page::UpgradeNotCompatible, UpgradeNotCompatibleRecovery);
        pages_.emplace(Page::UpgradeFailed, UpgradeFailedRecovery);
        pages_.emplace(Page::RecoveryModeUpgrade, RecoveryModeUpgrade);
        pages_.emplace(Page::NoUpgradeFileFound, NoUpgradeFileFoundRecovery);
    } else {
        pages_.emplace(Page::UpgradeFailed, UpgradeFailedMain);
        pages_.emplace(Page::UpgradeNotCompatible, UpgradeNotCompatibleMain);
        pages_.emplace(Page::NoUpgradeFileFound, NoUpgradeFileFoundMain);
    }
}

const std::string& QnxUpgradeUIPageManager::PageTemplate(UpgradeScreen page)
{
    return pages_[page];
}

std::string QnxUpgradeUIPageManager::PagePath(UpgradeScreen page)
{
    return properties_.FormatWithLanguage(PageTemplate(page));
}

void QnxUpgradeUIPageManager::InitLanguage()
{
    properties_.Load();
}

void QnxUpgradeUIPageManager::SetCurrentVersion(const std::string& version)
{
    currentVersion_ = version;
}

std::string QnxUpgradeUIPageManager::GetCurrentVersion()
{
    if (currentVersion_.empty()) {
        ExtractVersionFromEEprom();
    }
    return currentVersion_;
}

void QnxUpgradeUIPageManager::ExtractVersionFromEEprom()
{
    rapidjson::Document record;
    QnxUpgradeCommon::JsonDeserializeEEprom(record, eepromHandler_, EEPromHandler::BuildRecord);
    SetCurrentVersion(QnxUpgradeCommon::ExtractStringMemberFromJson(record, QnxUpgradeCommon::BuildNumberKey));
    if (recoveryMode_) {
        SetCurrentVersion(RecoveryModeVersion(currentVersion_));
    }
}

std::vector<unsigned> QnxUpgradeUIPageManager::ImportBbox(const std::string& pathTemplate, const std::string& group,
                                                          const std::string& box)
{
    const std::string path = properties_.FormatWithLanguage(pathTemplate);
    {
        const std::unique_ptr<QnxEmbeddedFiles::ReadOnlyObject> resource = QnxEmbeddedFiles::OpenBinary(path);
        // Compiled-in bytes stay for the whole run, so the reader may refer to them.
        if (resource->GetBuffer() != nullptr && resource->GetSize() > 0) {
            layoutReader_ = std::make_unique<VexaJsonFileReader>(reinterpret_cast<const char*>(resource->GetBuffer()),
                                                                 resource->GetSize());
        } else {
            layoutReader_ = std::make_unique<VexaJsonFileReader>(path);
        }
    }
    if (layoutReader_->HasParseError()) {
        layoutReader_.reset();
        return {};
    }
    const rapidjson::Value& root = layoutReader_->GetJsonDocument();
    const rapidjson::Value missing;
    const rapidjson::Value* members = &missing;
    if (root.IsObject()) {
        const rapidjson::Value key(rapidjson::StringRef(group.data(), static_cast<rapidjson::SizeType>(group.size())));
        const auto found = root.FindMember(key);
        if (found != root.MemberEnd()) {
            members = &found->value;
        }
    }
    return layoutReader_->ReadUIntArray(*members, box);
}

std::vector<TouchTarget> QnxUpgradeUIPageManager::TargetsFor(const std::vector<PageButton>& buttons)
{
    std::vector<TouchTarget> targets;
    for (const PageButton& button : buttons) {
        const std::vector<unsigned> box = ImportBbox(CoordinatesFileName, Button, button.box);
        if (!IsBox(box)) {
            return {};
        }
        targets.push_back({button.id, static_cast<std::int32_t>(box[0]), static_cast<std::int32_t>(box[1]),
                           static_cast<std::int32_t>(box[2]), static_cast<std::int32_t>(box[3])});
    }
    return targets;
}

void QnxUpgradeUIPageManager::DrawVersion(const char* box)
{
    const std::vector<unsigned> area = ImportBbox(CoordinatesFileName, VersionTag, box);
    if (IsBox(area)) {
        presenter_->OverlayVersionNumber(area, GetCurrentVersion());
    }
}

bool QnxUpgradeUIPageManager::ShowPicture(UpgradeScreen page, const char* versionBox)
{
    if (!presenter_->LoadPNG(PagePath(page), ImageStorageType::Page)) {
        return false;
    }
    // Creates the window when there is none.
    presenter_->CopyImageDataToBuffer();
    if (versionBox != nullptr) {
        DrawVersion(versionBox);
    }
    presenter_->PostScreen();
    return true;
}

ButtonId QnxUpgradeUIPageManager::ShowAndWait(const TouchPage& page)
{
    if (autoConfirm_) {
        return ButtonId::NoButton;
    }
    const std::vector<TouchTarget> targets = TargetsFor(page.buttons);
    if (page.windowBeforePicture) {
        presenter_->CreateWindow();
    }
    const char* versionBox = page.versionNeedsButtons && targets.empty() ? nullptr : page.versionBox;
    if (!ShowPicture(page.page, versionBox)) {
        return ButtonId::NoButton;
    }
    return presenter_->HandleEvents(targets);
}

QnxUpgradeUIPageManager::TouchPage QnxUpgradeUIPageManager::ResultPage(UpgradeScreen page, ButtonId recoveryId,
                                                                       ButtonId mainId, const char* versionBox) const
{
    return {page, {{ButtonOne, recoveryMode_ ? recoveryId : mainId}}, versionBox};
}

void QnxUpgradeUIPageManager::WifiUpgradeInProgress()
{
    presenter_->Present(PagePath(UpgradeScreen::WifiUpgrading));
}

void QnxUpgradeUIPageManager::WifiUpgradeContinue()
{
    presenter_->Present(PagePath(UpgradeScreen::WifiUpgradeContinuing));
}

void QnxUpgradeUIPageManager::ShowInProgress()
{
    presenter_->Present(PagePath(UpgradeScreen::ShowUpgradeIsInProgress));
}

void QnxUpgradeUIPageManager::UpgradeInProgress()
{
    // Without its page the number would land on the picture shown before.
    if (!presenter_->Present(PagePath(UpgradeScreen::UpgradingWithProgressBar))) {
        return;
    }
    const std::vector<unsigned> box = ImportBbox(CoordinatesFileName, Percentage, UpdatePercentage);
    if (IsBox(box)) {
        presenter_->OverlayPercentageNumber(box, 0);
    }
}

void QnxUpgradeUIPageManager::ShowRecoveryMode()
{
    ShowPicture(UpgradeScreen::RecoveryModeUpgrade, RecoveryModePage);
}

ButtonId QnxUpgradeUIPageManager::WifiUpgradeSuccessful()
{
    return ShowAndWait(
        ResultPage(UpgradeScreen::WifiUpgradeSucceeded, ButtonId::ConfirmButton, ButtonId::ConfirmButton, nullptr));
}

ButtonId QnxUpgradeUIPageManager::WifiUpgradeFailed()
{
    return ShowAndWait(
        ResultPage(UpgradeScreen::WifiUpgradeFail, ButtonId::ConfirmButton, ButtonId::ConfirmButton, nullptr));
}

ButtonId QnxUpgradeUIPageManager::PromptUserToUpgrade()
{
    TouchPage prompt{UpgradeScreen::PromptUserForUpgrade,
                     {{ButtonOne, ButtonId::PromptFirstButton}, {ButtonTwo, ButtonId::PromptSecondButton}},
                     PromptUserVersion};
    prompt.windowBeforePicture = true;
    return ShowAndWait(prompt);
}

ButtonId QnxUpgradeUIPageManager::UpgradeSuccessful()
{
    return ShowAndWait(
        ResultPage(UpgradeScreen::UpgradeSucceeded, ButtonId::ConfirmButton, ButtonId::ConfirmButton, nullptr));
}

ButtonId QnxUpgradeUIPageManager::UpgradeFailed()
{
    return ShowAndWait(ResultPage(UpgradeScreen::UpgradeFailed, ButtonId::ConfirmButton, ButtonId::FailedPageButton,
                                  recoveryMode_ ? UpgradeFailedVersionRecovery : nullptr));
}

ButtonId QnxUpgradeUIPageManager::NoUpgradeFound()
{
    return ShowAndWait(ResultPage(UpgradeScreen::NoUpgradeFileFound, ButtonId::ConfirmButton,
                                  ButtonId::NotFoundOrIncompatibleButton, NoUpgradeFoundVersion));
}

ButtonId QnxUpgradeUIPageManager::UpdgradeNotCompatibleWithPrinter()
{
    TouchPage page =
        ResultPage(UpgradeScreen::UpgradeNotCompatible, ButtonId::ConfirmButton, ButtonId::NotFoundOrIncompatibleButton,
                   recoveryMode_ ? UpgradeNotCompatibleVersionRecovery : UpgradeNotCompatibleVersionMain);
    page.versionNeedsButtons = true;
    return ShowAndWait(page);
}

void QnxUpgradeUIPageManager::UpdateProgressBar(unsigned char percent)
{
    const std::vector<unsigned> bar = ImportBbox(CoordinatesFileName, LoadingBar, Updating);
    if (IsBox(bar)) {
        presenter_->OverlayProgressBar(bar, progressColor, percent);
    }
    const std::vector<unsigned> number = ImportBbox(CoordinatesFileName, Percentage, UpdatePercentage);
    if (IsBox(number)) {
        presenter_->OverlayPercentageNumber(number, percent);
    }
}

void QnxUpgradeUIPageManager::ExitScreen()
{
    presenter_->SetExitScreen(true);
}

void QnxUpgradeUIPageManager::CloseUpgradeUi()
{
    presenter_->DestroyWindow();
}

bool QnxUpgradeUIPageManager::UpgradeUIExists() const
{
    return presenter_->WindowExists();
}
