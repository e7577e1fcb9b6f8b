#pragma once
// The three role lists of the equipment setup (modulation source, RF
// generator, analyzer), each with a parallel list of VISA resource strings, as
// the instrument discovery fills them. The equipment setup window implements
// this; the engine never sees the window itself.

#include <string>

class EquipmentLists {
public:
    enum class Role { ModSource, RFGen, Analyzer }; // BBGenList, RFGenList, AnalyzerList

    virtual ~EquipmentLists() = default;

    // Empties the role list and its address list.
    virtual void Clear(Role role) = 0;
    virtual void Add(Role role, const std::string& label, const std::string& resource) = 0;
    virtual int Count(Role role) const = 0;
    virtual void SetEnabled(Role role, bool enabled) = 0;
    // Selects the last entry; the list's own selection handler runs.
    virtual void SelectLast(Role role) = 0;
    // The equipment setup's reaction to a newly chosen analyzer / modulation source.
    virtual void UpdateAnalyzer() = 0;
    virtual void UpdateModSource() = 0;
    // The VISA resource of the role list's selected entry; empty when nothing
    // is selected.
    virtual std::string SelectedResource(Role role) const = 0;
    // The family label of the role list's selected entry ("KLD", "HOB", ...);
    // empty when nothing is selected.
    virtual std::string SelectedLabel(Role role) const = 0;
    // The analyzer sampling rate in MHz chosen in the equipment setup: the
    // typed continuous rate while that field is enabled (DANE, HOD),
    // otherwise the discrete list's selected item's value, never its text.
    virtual double SamplingRateMHz() const = 0;
    // The stored rate in MHz that the discrete list could not show, while
    // that list is the rate control and nothing is chosen in it; 0 otherwise.
    virtual double UnofferedRateMHz() const = 0;

    // The installed lists, or nullptr while no equipment setup exists.
    static EquipmentLists* Get();
    // nullptr uninstalls.
    static void Install(EquipmentLists* lists);
};
