// The program's command line, exit status and version query, run as the
// printer's upgrade script runs it. Every case here ends early: none uploads.
#include "FlasherBlackBox.h"

#include <gmock/gmock.h>

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

// --- options that never reach the port

TEST_F(FlasherBlackBox, NoOptionSucceedsWithoutTouchingThePort)
{
    StartModule(QuickModule());
    const FlasherOutcome run = Run({});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    ExpectPortUntouched();
}

TEST_F(FlasherBlackBox, TargetVersionAloneIsIgnored)
{
    StartModule(QuickModule());
    for (const auto& args :
         {std::vector<std::string>{"-t", "1.2.3"}, {"--target-version", "1.2.3"}, {"--target-version=1.2.3"}}) {
        const FlasherOutcome run = Run(args);
        EXPECT_EQ(run.status, 0) << args[0];
        EXPECT_EQ(run.out, "") << args[0];
    }
    ExpectPortUntouched();
}

TEST_F(FlasherBlackBox, FirmwareFileWithoutTargetFailsBeforeAnySerialTraffic)
{
    StartModule(QuickModule());
    printer->WriteFirmware("fw.bin", Image(3000, 1));
    for (const auto& args :
         {std::vector<std::string>{"-f", "/firmware/fw.bin"}, {"--firmware-file", "/firmware/fw.bin", "-v"}}) {
        const FlasherOutcome run = Run(args);
        EXPECT_EQ(run.status, 1) << args[0];
        EXPECT_EQ(run.out, "") << "not even the version query runs";
    }
    ExpectPortUntouched();
}

TEST_F(FlasherBlackBox, UnknownOptionFailsWithTheParsersDiagnostic)
{
    StartModule(QuickModule());
    for (const auto& args : {std::vector<std::string>{"-x"}, {"--bogus"}, {"-v", "--firmware"}, {"-V"}}) {
        const FlasherOutcome run = Run(args);
        EXPECT_EQ(run.status, 1) << args.back();
        EXPECT_EQ(run.out, "") << args.back();
        EXPECT_THAT(run.err, Not(IsEmpty())) << args.back();
    }
    ExpectPortUntouched();
}

TEST_F(FlasherBlackBox, OptionMissingItsArgumentFails)
{
    StartModule(QuickModule());
    for (const auto& args :
         {std::vector<std::string>{"-f"}, {"-v", "-t"}, {"--firmware-file"}, {"-t", "2.0", "--target-version"}}) {
        const FlasherOutcome run = Run(args);
        EXPECT_EQ(run.status, 1) << args.back();
        EXPECT_EQ(run.out, "") << args.back();
        EXPECT_THAT(run.err, Not(IsEmpty())) << args.back();
    }
    ExpectPortUntouched();
}

TEST_F(FlasherBlackBox, FirmwareThatIsNoRegularFileFailsBeforeAnySerialTraffic)
{
    StartModule(QuickModule());
    printer->WriteFirmware("fw.bin", Image(10, 2));
    for (const char* path : {"/firmware/missing.bin", "/firmware", "/dev/null", "firmware/missing.bin", ""}) {
        const FlasherOutcome run = Run({"-f", path, "-t", "2.0.0"});
        EXPECT_EQ(run.status, 1) << path;
        EXPECT_EQ(run.out, "") << path;
    }
    ExpectPortUntouched();
}

// --- the version query

TEST_F(FlasherBlackBox, VersionQueryPrintsOneLineAndRecordsExactlyTheVersion)
{
    ModuleConfig config = QuickModule();
    config.versionBefore = "3.1.4-rc2 build 77";
    StartModule(config);
    printer->WriteStoreFile(RecordFile, "an older and much longer version record\n");
    const FlasherOutcome run = Run({"-v"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "3.1.4-rc2 build 77\n");
    EXPECT_EQ(printer->ReadStoreFile(RecordFile), "3.1.4-rc2 build 77");
    EXPECT_THAT(module->CommandsSeen(), ElementsAre("AT+VER=?"));
}

TEST_F(FlasherBlackBox, VersionQueryLongFormWithATargetAloneStillSucceeds)
{
    StartModule(QuickModule());
    const FlasherOutcome run = Run({"--version", "-t", "9.9.9"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1.0.0\n");
    EXPECT_EQ(printer->ReadStoreFile(RecordFile), "1.0.0");
}

TEST_F(FlasherBlackBox, VersionQueryReadsThroughLineNoise)
{
    ModuleConfig config = QuickModule();
    config.faults.garbage = true;
    StartModule(config);
    const FlasherOutcome run = Run({"-v"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1.0.0\n");
    EXPECT_EQ(printer->ReadStoreFile(RecordFile), "1.0.0");
}

TEST_F(FlasherBlackBox, ReplyWithAnEmptyVersionGivesAnEmptyLineAndAnEmptyRecord)
{
    ModuleConfig config = QuickModule();
    config.versionBefore = "";
    StartModule(config);
    printer->WriteStoreFile(RecordFile, "1.0.0");
    const FlasherOutcome run = Run({"-v"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "\n");
    EXPECT_EQ(printer->ReadStoreFile(RecordFile), "");
}

TEST_F(FlasherBlackBox, SilentModuleGivesAnEmptyLineAndNoRecord)
{
    ModuleConfig config = QuickModule();
    config.faults.silent = true;
    StartModule(config);
    printer->WriteStoreFile(RecordFile, "1.0.0");
    const FlasherOutcome run = Run({"-v"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "\n");
    EXPECT_EQ(printer->ReadStoreFile(RecordFile), std::nullopt) << "the port opened, so the old record is gone";
    EXPECT_GE(run.took, 5s) << "the reply is awaited for 5 s";
}

TEST_F(FlasherBlackBox, NoModulePortGivesAnEmptyLineAndLeavesTheRecordAlone)
{
    printer->WriteStoreFile(RecordFile, "1.0.0");
    const FlasherOutcome run = Run({"-v"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "\n");
    EXPECT_EQ(printer->ReadStoreFile(RecordFile), "1.0.0");
    EXPECT_GE(run.took, 15s) << "15 attempts, each after a 1-s pause";
}

// --- upgrades that fail before the upload

TEST_F(FlasherBlackBox, ModuleWithoutBannerAndWrongYlcReplyFailsBeforeTheUpload)
{
    ModuleConfig config = QuickModule();
    config.faults.noStartBanner = true;
    config.faults.wrongYlcReply = true;
    StartModule(config);
    printer->WriteFirmware("fw.bin", Image(5000, 3));
    const FlasherOutcome run = Run({"-f", "/firmware/fw.bin", "-t", "2.0.0"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    const ModuleStatus s = module->Status();
    EXPECT_THAT(s.commands, ElementsAre("AT+YLC?"));
    EXPECT_EQ(s.chunksReceived, 0u);
    EXPECT_EQ(s.restarts, 0u) << "a failed start is not followed by a reset";
}
