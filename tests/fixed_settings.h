#pragma once

// Tests never depend on the machine's locale or date: today is 9 December 2025, numbers use
// "." and dates d.M.yyyy unless a test chooses otherwise. Restored after each test.
#include "clock.h"
#include "date_value.h"
#include "regional.h"

#include <gtest/gtest.h>

class FixedSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_saved = tk::regionalSettings();
        useSettings('.', "d.M.yyyy");
        tk::setTodayForTesting(tk::encodeDate(2025, 12, 9));
    }

    void TearDown() override
    {
        tk::setTodayForTesting(std::nullopt);
        tk::setRegionalSettings(m_saved);
    }

    // The date separator is the format's first character that is not a field letter.
    static void useSettings(char decimalSeparator, const std::string &shortDateFormat)
    {
        tk::RegionalSettings s;
        s.decimalSeparator = decimalSeparator;
        const size_t divider = shortDateFormat.find_first_not_of("dMy");
        s.dateSeparator = divider == std::string::npos ? '.' : shortDateFormat[divider];
        s.shortDateFormat = shortDateFormat;
        tk::setRegionalSettings(s);
    }

private:
    tk::RegionalSettings m_saved;
};
