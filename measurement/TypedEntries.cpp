// The boxes entered for the run start's check of typed numbers.

#include "TypedEntries.h"

#include <map>

namespace TypedEntries {
namespace {

struct Entries {
    std::map<int, Check> checks; // keys rise with each entry: the map keeps their order
    int next = 0;
};

Entries& Installed() {
    static Entries entries;
    return entries;
}

} // namespace

std::string Refusal(const Fault& fault) {
    return fault.caption + ": \"" + fault.text +
           "\" is not a valid number! Please enter correct value";
}

int Enter(Check check) {
    Entries& e = Installed();
    e.checks.emplace(e.next, std::move(check));
    return e.next++;
}

void Remove(int key) {
    Installed().checks.erase(key);
}

std::vector<Fault> Faults() {
    std::vector<Fault> out;
    for (const auto& [key, check] : Installed().checks)
        if (std::optional<Fault> fault = check()) out.push_back(std::move(*fault));
    return out;
}

} // namespace TypedEntries
