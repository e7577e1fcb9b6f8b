#include "SearchPattern.h"

namespace Visa {

namespace {

unsigned char Upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}
unsigned char Lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

} // namespace

bool SearchPattern::CharSet::Contains(unsigned char c) const {
    auto inRanges = [this](unsigned char x) {
        for (auto [lo, hi] : ranges)
            if (x >= lo && x <= hi) return true;
        return false;
    };
    bool hit = inRanges(c) || inRanges(Upper(c)) || inRanges(Lower(c));
    return hit != negated;
}

int SearchPattern::Add(State s) {
    states_.push_back(s);
    return static_cast<int>(states_.size()) - 1;
}

void SearchPattern::Patch(const std::vector<std::pair<int, int>>& outs, int to) {
    for (auto [s, which] : outs)
        (which != 0 ? states_[s].out1 : states_[s].out) = to;
}

bool SearchPattern::Compile(std::string_view expression) {
    states_.clear();
    sets_.clear();
    start_ = -1;
    expr_ = expression;
    pos_ = 0;
    depth_ = 0;
    Fragment f;
    bool ok = ParseAlternation(f) && pos_ == expr_.size();
    expr_ = {};
    if (!ok) {
        states_.clear();
        sets_.clear();
        return false;
    }
    State match;
    match.type = State::Type::Match;
    Patch(f.outs, Add(match));
    start_ = f.start;
    return true;
}

bool SearchPattern::ParseAlternation(Fragment& f) {
    if (!ParseSequence(f)) return false;
    while (pos_ < expr_.size() && expr_[pos_] == '|') {
        ++pos_;
        Fragment g;
        if (!ParseSequence(g)) return false;
        State split;
        split.type = State::Type::Split;
        split.out = f.start;
        split.out1 = g.start;
        f.start = Add(split);
        f.outs.insert(f.outs.end(), g.outs.begin(), g.outs.end());
    }
    return true;
}

bool SearchPattern::ParseSequence(Fragment& f) {
    bool any = false;
    while (pos_ < expr_.size() && expr_[pos_] != '|' && expr_[pos_] != ')') {
        Fragment item;
        if (!ParseItem(item)) return false;
        while (pos_ < expr_.size() && (expr_[pos_] == '*' || expr_[pos_] == '+')) {
            bool zeroAllowed = expr_[pos_++] == '*';
            State split;
            split.type = State::Type::Split;
            split.out = item.start;
            int s = Add(split);
            Patch(item.outs, s);
            item = Fragment{zeroAllowed ? s : item.start, {{s, 1}}};
        }
        if (!any) {
            f = std::move(item);
            any = true;
        } else {
            Patch(f.outs, item.start);
            f.outs = std::move(item.outs);
        }
    }
    if (!any) {
        int e = Add(State{});
        f = Fragment{e, {{e, 0}}};
    }
    return true;
}

bool SearchPattern::ParseItem(Fragment& f) {
    char c = expr_[pos_];
    if (c == '*' || c == '+') return false; // nothing to repeat
    ++pos_;
    if (c == '(') {
        // The parser recurses per group: a bound keeps any expression off the
        // end of the stack.
        if (++depth_ > kMaxNesting) return false;
        if (!ParseAlternation(f) || pos_ >= expr_.size() || expr_[pos_] != ')') return false;
        --depth_;
        ++pos_;
        return true;
    }
    State st;
    if (c == '?') {
        st.type = State::Type::Any;
    } else if (c == '[') {
        CharSet set;
        if (!ParseSet(set)) return false;
        sets_.push_back(std::move(set));
        st.type = State::Type::Set;
        st.set = sets_.size() - 1;
    } else {
        if (c == '\\') {
            if (pos_ >= expr_.size()) return false;
            c = expr_[pos_++];
        }
        st.type = State::Type::Char;
        st.c = static_cast<char>(Upper(static_cast<unsigned char>(c)));
    }
    int s = Add(st);
    f = Fragment{s, {{s, 0}}};
    return true;
}

bool SearchPattern::ParseSet(CharSet& set) {
    if (pos_ < expr_.size() && (expr_[pos_] == '^' || expr_[pos_] == '!')) {
        set.negated = true;
        ++pos_;
    }
    bool first = true; // a "]" right at the start is a member
    while (pos_ < expr_.size()) {
        char c = expr_[pos_];
        if (c == ']' && !first) {
            ++pos_;
            return true;
        }
        ++pos_;
        if (c == '\\') {
            if (pos_ >= expr_.size()) return false;
            c = expr_[pos_++];
        }
        auto lo = static_cast<unsigned char>(c);
        auto hi = lo;
        if (pos_ + 1 < expr_.size() && expr_[pos_] == '-' && expr_[pos_ + 1] != ']') {
            char h = expr_[pos_ + 1];
            pos_ += 2;
            if (h == '\\') {
                if (pos_ >= expr_.size()) return false;
                h = expr_[pos_++];
            }
            hi = static_cast<unsigned char>(h);
            if (hi < lo) return false;
        }
        set.ranges.emplace_back(lo, hi);
        first = false;
    }
    return false; // no closing "]"
}

void SearchPattern::AddState(std::vector<int>& list, std::vector<unsigned>& mark, unsigned gen,
                             int s) const {
    std::vector<int> todo{s};
    while (!todo.empty()) {
        int t = todo.back();
        todo.pop_back();
        if (t < 0 || mark[static_cast<std::size_t>(t)] == gen) continue;
        mark[static_cast<std::size_t>(t)] = gen;
        const State& st = states_[static_cast<std::size_t>(t)];
        if (st.type == State::Type::Split) {
            todo.push_back(st.out1);
            todo.push_back(st.out);
        } else if (st.type == State::Type::Empty) {
            todo.push_back(st.out);
        } else {
            list.push_back(t);
        }
    }
}

std::vector<int> SearchPattern::Run(std::string_view text) const {
    std::vector<int> current, next;
    if (start_ < 0) return current;
    std::vector<unsigned> mark(states_.size(), 0);
    unsigned gen = 1;
    AddState(current, mark, gen, start_);
    for (char ch : text) {
        if (current.empty()) break;
        ++gen;
        next.clear();
        auto u = static_cast<unsigned char>(ch);
        for (int s : current) {
            const State& st = states_[static_cast<std::size_t>(s)];
            bool step =
                st.type == State::Type::Any ||
                (st.type == State::Type::Char && static_cast<unsigned char>(st.c) == Upper(u)) ||
                (st.type == State::Type::Set && sets_[st.set].Contains(u));
            if (step) AddState(next, mark, gen, st.out);
        }
        current.swap(next);
    }
    return current;
}

bool SearchPattern::Matches(std::string_view text) const {
    for (int s : Run(text))
        if (states_[static_cast<std::size_t>(s)].type == State::Type::Match) return true;
    return false;
}

bool SearchPattern::CanMatchPrefix(std::string_view prefix) const {
    return !Run(prefix).empty();
}

} // namespace Visa
