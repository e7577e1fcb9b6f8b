// The installed equipment lists.

#include "EquipmentLists.h"

namespace {
EquipmentLists*& Installed() {
    static EquipmentLists* lists = nullptr;
    return lists;
}
} // namespace

EquipmentLists* EquipmentLists::Get() {
    return Installed();
}
void EquipmentLists::Install(EquipmentLists* lists) {
    Installed() = lists;
}
