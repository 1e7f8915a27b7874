#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

// What the rows of a table test share: how a row shows in a failure and what
// its test is called.
namespace kiv::testing {

// A row with a `name` field.
template <typename Case>
concept NamedCase = requires(const Case& c, std::ostream& os) {
    os << c.name;
};

// A row shows by its name wherever GoogleTest prints it ("GetParam() =
// ..."), instead of as the bytes of the struct. GoogleTest looks PrintTo up
// in the row's own namespace: a test file brings it there with
// `using kiv::testing::PrintTo;` beside its rows.
template <NamedCase Case>
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// Test names from a row's `name` field, stable from build to build.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

}  // namespace kiv::testing
