//===- GuiDriverMain.cpp - Runs every GUI check against the real program -===//
//
// usage: lexset-gui-test LEXSET_EXE PROBE_DLL LINK_HOST WORK_FOLDER SHELL_LOG [GROUP]
//
//===----------------------------------------------------------------------===//
#include <cstdio>
#include <cstring>

#include "tests/gui/GuiHarness.h"
#include "tests/gui/GuiTests.h"

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: lexset-gui-test LEXSET_EXE PROBE_DLL LINK_HOST WORK_FOLDER SHELL_LOG [GROUP]\n");
    return 2;
  }
  gui::g_paths = {argv[1], argv[2], argv[3], argv[4], argv[5]};
  const char* only = argc > 6 ? argv[6] : nullptr;
  for (const gui::TestGroup& group : gui::AllGroups()) {
    if (only == nullptr || std::strstr(group.name, only) != nullptr) gui::Group(group.name, group.run);
  }
  return gui::Summary();
}
