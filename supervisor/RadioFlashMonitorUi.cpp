#include "RadioFlashMonitorUi.h"

#include "ButtonId.h"
#include "EmbeddedResourceTable.h"
#include "QnxEmbeddedFiles.h"
#include "QnxUpgradeUIPageManager.h"
#include "SlayScreen.h"

namespace {

// The page manager's window sits above the printer's own application.
constexpr int UpgradeWindowZOrder = 2;

// The program's resource table: the rows of every compiled-in page, layout
// file and glyph, in table order. The rows live until the program ends.
const QnxEmbeddedFiles::KeyAndResource* const embeddedFiles = EmbeddedResourceTable::Rows();
constexpr int EmbeddedFileCount = EmbeddedResourceTable::RowCount;
static_assert(EmbeddedFileCount == 132, "the program compiles in 132 files");

} // namespace

RadioFlashMonitorUi::RadioFlashMonitorUi(bool autoConfirmPages, bool recoveryMode)
    : pageManager(std::make_unique<QnxUpgradeUIPageManager>(recoveryMode, UpgradeWindowZOrder, autoConfirmPages))
{
    QnxEmbeddedFiles::AddResources(embeddedFiles, EmbeddedFileCount);
    pageManager->ExtractVersionFromEEprom();
    pageManager->InitLanguage();
    pageManager->WifiUpgradeInProgress();
}

RadioFlashMonitorUi::~RadioFlashMonitorUi() = default;

void RadioFlashMonitorUi::PromptSystemToReboot()
{
    if (pageManager->WifiUpgradeSuccessful() == ButtonId::ConfirmButton) {
        CloseAfterConfirm();
    }
}

void RadioFlashMonitorUi::PromptUpgradeFail()
{
    if (pageManager->WifiUpgradeFailed() == ButtonId::ConfirmButton) {
        CloseAfterConfirm();
    }
}

void RadioFlashMonitorUi::ExitUiScreen()
{
    pageManager->ExitScreen();
}

void RadioFlashMonitorUi::CloseAfterConfirm()
{
    QnxUpgradeCommon::SlayScreen();
    pageManager->CloseUpgradeUi();
}
