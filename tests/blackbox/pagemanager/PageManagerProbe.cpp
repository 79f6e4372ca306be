// Starts the upgrade screens in the simulated printer as the screen facade
// does - resources, installed version, display language, in-progress page -
// then shows the pages named on the command line ("show-in-progress",
// "continue") and prints the installed version on standard output.
#include "EmbeddedResourceTable.h"
#include "QnxEmbeddedFiles.h"
#include "QnxUpgradeUIPageManager.h"

#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    QnxUpgradeUIPageManager manager(false, 2, false);
    QnxEmbeddedFiles::AddResources(EmbeddedResourceTable::Rows(), EmbeddedResourceTable::RowCount);
    manager.ExtractVersionFromEEprom();
    manager.InitLanguage();
    manager.WifiUpgradeInProgress();
    for (int i = 1; i < argc; ++i) {
        const std::string page = argv[i];
        if (page == "show-in-progress") {
            manager.ShowInProgress();
        } else if (page == "continue") {
            manager.WifiUpgradeContinue();
        } else {
            return 2;
        }
    }
    std::cout << manager.GetCurrentVersion() << std::endl;
    return 0;
}
