//===- GuiTests.h - The groups of GUI checks -----------------------------===//
#pragma once

#include <vector>

namespace gui {

struct TestGroup {
  const char* name;
  void (*run)();
};

std::vector<TestGroup> MainDialogGroups();
std::vector<TestGroup> LinkGroups();
std::vector<TestGroup> AboutGroups();

inline std::vector<TestGroup> AllGroups() {
  std::vector<TestGroup> groups;
  for (const auto& list : {MainDialogGroups(), LinkGroups(), AboutGroups()})
    groups.insert(groups.end(), list.begin(), list.end());
  return groups;
}

}  // namespace gui
