#pragma once

#include "FlasherInSandbox.h"
#include "ModuleSimulator.h"
#include "SandboxTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// Fixture of the flasher's black-box tests: a scratch printer per test and,
// when a test asks for one, a simulated module on its serial port.
class FlasherBlackBox : public SandboxTest
{
protected:
    static constexpr const char* RecordFile = "WifiFirmwareVersion.txt";

    void SetUp() override
    {
        SandboxTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        printer = std::make_unique<FlasherInSandbox>(std::string(info->test_suite_name()) + "." + info->name());
    }

    void StartModule(const ModuleConfig& config)
    {
        module = std::make_unique<ModuleSimulator>(config);
        ASSERT_TRUE(module->Start());
    }

    static ModuleConfig QuickModule()
    {
        ModuleConfig config;
        config.bootTime = std::chrono::milliseconds(200);
        return config;
    }

    FlasherOutcome Run(const std::vector<std::string>& args, std::chrono::seconds limit = std::chrono::seconds(90))
    {
        return printer->Run(args, module ? module->PortPath() : std::string(), limit);
    }

    // Nothing opened the module's port and no byte reached it.
    void ExpectPortUntouched() const
    {
        const ModuleStatus s = module->Status();
        EXPECT_EQ(s.portOpenings, 0u);
        EXPECT_EQ(s.bytesReceived, 0u);
    }

    static std::vector<unsigned char> Image(std::size_t size, unsigned seed)
    {
        std::vector<unsigned char> image(size);
        unsigned x = seed;
        for (auto& b : image) {
            x = x * 1103515245u + 12345u;
            b = static_cast<unsigned char>(x >> 16);
        }
        return image;
    }

    static bool Saw(const ModuleStatus& s, const std::string& command)
    {
        return std::find(s.commands.begin(), s.commands.end(), command) != s.commands.end();
    }

    std::unique_ptr<FlasherInSandbox> printer;
    std::unique_ptr<ModuleSimulator> module;
};
