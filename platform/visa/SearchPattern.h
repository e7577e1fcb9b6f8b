#pragma once
// Resource search expressions, case-insensitive, matched against a whole
// descriptor:
//   ?          any one character
//   [list]     one character of the list; ranges as in a-z
//   [^list]    (also [!list]) one character not in the list
//   x*  x+     zero or more / one or more of the preceding item
//   a|b        either side (the whole sides, not single characters)
//   (exp)      grouping
//   \c         the character c itself
// Compiled to a small automaton and run without backtracking, so no
// expression can make a match take long.

#include <string>
#include <string_view>
#include <vector>

namespace Visa {

class SearchPattern {
public:
    static constexpr int kMaxNesting = 64;

    // False when the expression is malformed (an item missing before * or +,
    // unbalanced brackets or parentheses, a trailing backslash, groups nested
    // deeper than kMaxNesting).
    bool Compile(std::string_view expression);
    bool Matches(std::string_view text) const;
    // Whether some text that begins with `prefix` could match.
    bool CanMatchPrefix(std::string_view prefix) const;

private:
    struct State {
        enum class Type { Char, Any, Set, Split, Empty, Match } type = Type::Empty;
        char c = 0;          // Char: upper-cased
        std::size_t set = 0; // Set: index into sets_
        int out = -1;
        int out1 = -1; // Split: second way
    };
    struct CharSet {
        bool negated = false;
        std::vector<std::pair<unsigned char, unsigned char>> ranges;
        bool Contains(unsigned char c) const;
    };
    struct Fragment {
        int start;
        std::vector<std::pair<int, int>> outs; // (state, 0 = out / 1 = out1) left open
    };

    int Add(State s);
    void Patch(const std::vector<std::pair<int, int>>& outs, int to);
    bool ParseAlternation(Fragment& f);
    bool ParseSequence(Fragment& f);
    bool ParseItem(Fragment& f);
    bool ParseSet(CharSet& set);

    void AddState(std::vector<int>& list, std::vector<unsigned>& mark, unsigned gen, int s) const;
    std::vector<int> Run(std::string_view text) const;

    std::vector<State> states_;
    std::vector<CharSet> sets_;
    int start_ = -1;
    // parser position
    std::string_view expr_;
    std::size_t pos_ = 0;
    int depth_ = 0; // groups open at the parser's position
};

} // namespace Visa
