#pragma once
// Reference values written by tests/data/signal/make_reference.py: one array
// per line, "name: v1 v2 ...".

#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

inline std::map<std::string, std::vector<double>> LoadReference(const std::string& file) {
    std::map<std::string, std::vector<double>> arrays;
    std::ifstream in(std::string(QUILLON_TEST_DATA) + "/signal/" + file);
    std::string line;
    while (std::getline(in, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::vector<double>& values = arrays[line.substr(0, colon)];
        std::istringstream words(line.substr(colon + 1));
        std::string word;
        while (words >> word) {
            double v = 0.0;
            std::from_chars(word.data(), word.data() + word.size(), v);
            values.push_back(v);
        }
    }
    return arrays;
}

// Element by element, with the position of the first difference.
inline void ExpectNear(const std::vector<double>& actual, const std::vector<double>& expected,
                       double tol, const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (std::size_t k = 0; k < actual.size(); ++k)
        EXPECT_NEAR(actual[k], expected[k], tol) << what << " at " << k;
}
