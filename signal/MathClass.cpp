#include "MathClass.h"

#include <initializer_list>

namespace {

std::vector<std::vector<bool>> BuildTapTable() {
    // Tap positions (1-based) of a maximal-length register of each length.
    static const std::initializer_list<int> taps[] = {
        {1},           {1, 2},         {2, 3},          {3, 4},         {3, 5},
        {5, 6},        {6, 7},         {4, 5, 6, 8},    {5, 9},         {7, 10},
        {9, 11},       {6, 8, 11, 12}, {9, 10, 12, 13}, {9, 11, 13, 14}, {14, 15},
        {11, 13, 14, 16}, {14, 17},    {11, 18},        {14, 17, 18, 19}, {17, 20},
        {19, 21},      {21, 22},       {18, 23},        {20, 21, 23, 24}};
    std::vector<std::vector<bool>> table(1);
    for (std::size_t n = 1; n <= std::size(taps); ++n) {
        std::vector<bool> row(n + 1, false);
        for (int p : taps[n - 1]) row[static_cast<std::size_t>(p)] = true;
        table.push_back(std::move(row));
    }
    return table;
}

} // namespace

MathClass::MathClass() : PNTapTable(BuildTapTable()) {}

bool MathClass::ErrorStatus() const { return errorFlag_; }

void MathClass::Status(const std::string& text) const {
    if (MathStatus) MathStatus(text);
}

void MathClass::Notice(const std::string& text) const {
    if (ShowMessage) ShowMessage(text);
}
