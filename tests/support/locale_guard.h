#pragma once
// Switches the process locale for a test and puts the previous one back, so
// that a test proving number text independent of the locale cannot pass by
// never leaving "C".

#include <clocale>
#include <gtest/gtest.h>
#include <string>

class LocaleGuard {
public:
    // A locale whose decimal separator is the comma.
    static constexpr const char* kComma = "de_DE.UTF-8";

    LocaleGuard() {
        const char* current = std::setlocale(LC_ALL, nullptr);
        saved_ = current ? current : "C";
    }
    ~LocaleGuard() { std::setlocale(LC_ALL, saved_.c_str()); }
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;

    // A failure that names the locale to install when the machine lacks it.
    ::testing::AssertionResult Use(const char* name) {
        if (std::setlocale(LC_ALL, name)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "the locale " << name
               << " is not installed; install it (scripts/setup does: localedef -i de_DE -f "
                  "UTF-8 de_DE.UTF-8)";
    }

private:
    std::string saved_;
};
