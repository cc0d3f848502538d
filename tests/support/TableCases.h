// Table-driven tests: one row a case, each row a struct that says what it
// is. These name a row in test output and in ctest instead of dumping its
// bytes.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

// For INSTANTIATE_TEST_SUITE_P: a row's test name is its `name` member
// (letters, digits and underscores only).
struct CaseName
{
    template <class Row> std::string operator()(const testing::TestParamInfo<Row>& info) const
    {
        return std::string(info.param.name);
    }
};

// Lets gtest print a row of type Row as its member `member`. Use it in the
// namespace where Row is declared, so that gtest finds it.
#define PRINT_CASE_AS(Row, member)                                                                                  \
    [[maybe_unused]] void PrintTo(const Row& row, std::ostream* out)                                                 \
    {                                                                                                                \
        *out << row.member;                                                                                          \
    }
