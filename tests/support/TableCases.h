// Table-driven tests: one row a case, each row a struct that says what it
// is. These name a row in test output and in ctest instead of dumping its
// bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>

// A row's text as a test name: letters and digits kept, every run of
// anything else one underscore.
inline std::string RowName(const std::string& text)
{
    std::string name;
    for (const char c : text) {
        const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (word)
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name.empty() ? "empty" : name;
}

// For rows whose text may repeat: the text and the row's place.
inline std::string RowName(const std::string& text, std::size_t index)
{
    return RowName(text) + "_" + std::to_string(index);
}

// For INSTANTIATE_TEST_SUITE_P: a row's test name is its `name` member,
// made a valid test name.
struct CaseName
{
    template <class Row> std::string operator()(const testing::TestParamInfo<Row>& info) const
    {
        return RowName(std::string(info.param.name));
    }
};

// Lets gtest print a row of type Row as its member `member`. Use it in the
// namespace where Row is declared, so that gtest finds it.
#define PRINT_CASE_AS(Row, member)                                                                                  \
    [[maybe_unused]] void PrintTo(const Row& row, std::ostream* out)                                                 \
    {                                                                                                                \
        *out << row.member;                                                                                          \
    }
