#pragma once

#include "SandboxRunner.h"

#include <gtest/gtest.h>

// Fixture of tests that start programs in the simulated printer: where the
// sandbox cannot run, each such test is skipped with the runner's reason.
// A fixture that derives from it calls SandboxTest::SetUp first and returns
// at once when IsSkipped().
class SandboxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SandboxRunner::WhyUnavailable().empty()) {
            GTEST_SKIP() << SandboxRunner::WhyUnavailable();
        }
    }
};
