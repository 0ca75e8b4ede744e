#pragma once
// A path in the test's temporary folder that no other test shares: ctest runs each case as its
// own process, several at once, so two cases writing "report.csv" would read each other's file.
#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace qx::test {

inline std::string privateTempPath(const std::string &name)
{
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string prefix = info ? std::string(info->test_suite_name()) + "." + info->name() : "outside";
    for (char &c : prefix)
        if (c == '/')
            c = '_';
    return ::testing::TempDir() + "/" + prefix + "." + std::to_string(::getpid()) + "-" + name;
}

} // namespace qx::test
