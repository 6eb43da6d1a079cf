// Names of parameterised cases: a case is named after its printed value with every character a
// test name cannot hold turned into '_', so ctest and --gtest_filter name it alike, and the same in
// every build (GoogleTest's own fallback prints the bytes of the value, pointers included).
#pragma once

#include <cctype>
#include <gtest/gtest.h>
#include <string>

namespace testsupport {

inline std::string caseName(const std::string& printed) {
    std::string name;
    for (const char c : printed)
        name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return name.empty() ? "empty" : name;
}

// The generator for INSTANTIATE_TEST_SUITE_P: the value as its PrintTo prints it.
struct PrintedCaseName {
    template <class Param>
    std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
        return caseName(::testing::PrintToString(info.param));
    }
};

} // namespace testsupport
