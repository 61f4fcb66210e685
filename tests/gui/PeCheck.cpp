//===- PeCheck.cpp - The executables, checked as files -------------------===//
//
// usage: lexset-pe-check EXE i386|x64
//
// The 32-bit product cannot run on this machine, so it is checked as a file:
// its headers, the DLLs it imports, and its resources, read back through the
// system's own resource functions.
//
//===----------------------------------------------------------------------===//
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/gui/Checks.h"
#include "tests/gui/MainDialogTable.h"

namespace gui {
namespace {

std::vector<unsigned char> g_file;

template <class T>
T At(std::size_t offset) {
  T value{};
  if (offset + sizeof(T) <= g_file.size()) std::memcpy(&value, &g_file[offset], sizeof(T));
  return value;
}

// The file offset of a relative virtual address, through the section table.
std::size_t OffsetOf(DWORD rva) {
  const DWORD pe = At<DWORD>(0x3C);
  const WORD sections = At<WORD>(pe + 6);
  const std::size_t table = pe + 24 + At<WORD>(pe + 20);
  for (WORD i = 0; i < sections; ++i) {
    const auto section = At<IMAGE_SECTION_HEADER>(table + i * sizeof(IMAGE_SECTION_HEADER));
    if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.Misc.VirtualSize) {
      return rva - section.VirtualAddress + section.PointerToRawData;
    }
  }
  return 0;
}

std::string CString(std::size_t offset) {
  std::string text;
  while (offset < g_file.size() && g_file[offset] != 0) text += static_cast<char>(g_file[offset++]);
  return text;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

void Headers(bool x64) {
  const DWORD pe = At<DWORD>(0x3C);
  CHECK_EQ(At<WORD>(0), static_cast<WORD>(IMAGE_DOS_SIGNATURE));
  CHECK_EQ(At<DWORD>(pe), static_cast<DWORD>(IMAGE_NT_SIGNATURE));
  CHECK_EQ(At<WORD>(pe + 4), static_cast<WORD>(x64 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386));
  const WORD characteristics = At<WORD>(pe + 22);
  CHECK(characteristics & IMAGE_FILE_EXECUTABLE_IMAGE);
  // The 32-bit product may use up to 4 GB of address space on 64-bit Windows.
  CHECK(characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE);
  const std::size_t optional = pe + 24;
  CHECK_EQ(At<WORD>(optional), static_cast<WORD>(x64 ? 0x20B : 0x10B));
  CHECK_EQ(At<WORD>(optional + 68), static_cast<WORD>(IMAGE_SUBSYSTEM_WINDOWS_GUI));
}

void Imports(bool x64) {
  const DWORD pe = At<DWORD>(0x3C);
  const std::size_t directories = pe + 24 + (x64 ? 112 : 96);
  const DWORD import_rva = At<DWORD>(directories + 8 * IMAGE_DIRECTORY_ENTRY_IMPORT);
  std::vector<std::string> names;
  for (std::size_t entry = OffsetOf(import_rva);; entry += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(entry);
    if (descriptor.Name == 0) break;
    names.push_back(Lower(CString(OffsetOf(descriptor.Name))));
  }
  CHECK(!names.empty());
  // Only DLLs that come with Windows: no runtime libraries to ship.
  const char* const kSystem[] = {"kernel32.dll", "user32.dll",  "gdi32.dll",   "shell32.dll",
                                 "comctl32.dll", "comdlg32.dll", "msvcrt.dll", "advapi32.dll"};
  for (const std::string& name : names) {
    bool known = false;
    for (const char* system : kSystem) known = known || name == system;
    if (!CHECK(known)) std::printf("      imports %s\n", name.c_str());
  }
}

// Reads a resource's bytes in language 0x0804.
std::vector<unsigned char> Resource(HMODULE module, LPCSTR type, LPCSTR name) {
  const HRSRC found = FindResourceExA(module, type, name, MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
  if (found == nullptr) return {};
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
  return std::vector<unsigned char>(data, data + SizeofResource(module, found));
}

// A reader of the UTF-16 and aligned fields of a dialog template.
class TemplateReader {
 public:
  explicit TemplateReader(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
  WORD Word() { return Read<WORD>(); }
  BYTE Byte() { return Read<BYTE>(); }
  DWORD Dword() { return Read<DWORD>(); }
  short Short() { return Read<short>(); }
  // A string, or an ordinal (0xFFFF then a number) shown as "#number".
  std::string SzOrOrd() {
    if (Peek() == 0xFFFF) {
      Word();
      return "#" + std::to_string(Word());
    }
    std::wstring wide;
    for (WORD c = Word(); c != 0; c = Word()) wide += static_cast<wchar_t>(c);
    char text[1024];
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text, sizeof text,
                                      nullptr, nullptr);
    return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
  }
  void AlignTo(std::size_t n) { offset_ = (offset_ + n - 1) / n * n; }
  void Skip(std::size_t n) { offset_ += n; }
  bool Ended() const { return offset_ > bytes_.size(); }

 private:
  WORD Peek() const {
    WORD v = 0;
    if (offset_ + 2 <= bytes_.size()) std::memcpy(&v, &bytes_[offset_], 2);
    return v;
  }
  template <class T>
  T Read() {
    T v{};
    if (offset_ + sizeof(T) <= bytes_.size()) std::memcpy(&v, &bytes_[offset_], sizeof(T));
    offset_ += sizeof(T);
    return v;
  }
  const std::vector<unsigned char>& bytes_;
  std::size_t offset_ = 0;
};

const char* ClassOfAtom(const std::string& atom) {
  if (atom == "#128") return "Button";
  if (atom == "#129") return "Edit";
  if (atom == "#130") return "Static";
  return "?";
}

void MainDialogTemplate(HMODULE module) {
  const auto bytes = Resource(module, RT_DIALOG, MAKEINTRESOURCEA(102));
  if (!CHECK(!bytes.empty())) return;
  TemplateReader t(bytes);
  CHECK_EQ(t.Word(), 1);       // dlgVer
  CHECK_EQ(t.Word(), 0xFFFF);  // signature: an extended template
  CHECK_EQ(t.Dword(), 0u);     // helpID
  CHECK_EQ(t.Dword(), static_cast<DWORD>(WS_EX_APPWINDOW));
  CHECK_EQ(t.Dword(), static_cast<DWORD>(kMainStyle));
  const WORD items = t.Word();
  CHECK_EQ(items, static_cast<WORD>(std::size(kControls)));
  CHECK_EQ(t.Short(), 0);
  CHECK_EQ(t.Short(), 0);
  CHECK_EQ(t.Short(), 270);
  CHECK_EQ(t.Short(), 141);
  CHECK_EQ(t.SzOrOrd(), "");  // no menu
  CHECK_EQ(t.SzOrOrd(), "");  // the standard dialog class
  CHECK_EQ(t.SzOrOrd(), kMainCaption);
  // 9-point "宋体", weight 0, not italic, character set 1.
  CHECK_EQ(t.Word(), 9);
  CHECK_EQ(t.Word(), 0);
  CHECK_EQ(static_cast<int>(t.Byte()), 0);
  CHECK_EQ(static_cast<int>(t.Byte()), 1);
  CHECK_EQ(t.SzOrOrd(), "宋体");
  for (std::size_t i = 0; i < items && i < std::size(kControls); ++i) {
    const ControlRow& row = kControls[i];
    t.AlignTo(4);
    CHECK_EQ(t.Dword(), 0u);  // helpID
    CHECK_EQ(t.Dword(), 0u);  // exStyle
    CHECK_EQ(t.Dword(), static_cast<DWORD>(WS_CHILD | WS_VISIBLE | row.style));
    CHECK_EQ(t.Short(), row.x);
    CHECK_EQ(t.Short(), row.y);
    CHECK_EQ(t.Short(), row.width);
    CHECK_EQ(t.Short(), row.height);
    CHECK_EQ(static_cast<int>(t.Dword()), row.id);
    CHECK_EQ(ClassOfAtom(t.SzOrOrd()), row.class_name);
    CHECK_EQ(t.SzOrOrd(), row.text);
    const WORD extra = t.Word();
    t.Skip(extra);
  }
  CHECK(!t.Ended());
}

void Icon(HMODULE module) {
  const auto group = Resource(module, RT_GROUP_ICON, MAKEINTRESOURCEA(128));
  if (!CHECK(group.size() >= 6 + 14)) return;
  CHECK_EQ(static_cast<int>(group[4] | group[5] << 8), 1);  // one image
  CHECK_EQ(static_cast<int>(group[6]), 16);                   // width
  CHECK_EQ(static_cast<int>(group[7]), 16);                   // height
  CHECK_EQ(static_cast<int>(group[12] | group[13] << 8), 8);  // bits per pixel: 256 colours
  const int image_id = group[18] | group[19] << 8;
  const auto image = Resource(module, RT_ICON, MAKEINTRESOURCEA(image_id));
  CHECK(image.size() > 40 + 256 * 4);
}

void Manifest(HMODULE module) {
  const auto manifest = Resource(module, RT_MANIFEST, MAKEINTRESOURCEA(1));
  const std::string text(manifest.begin(), manifest.end());
  CHECK(text.find("Microsoft.Windows.Common-Controls") != std::string::npos);
  CHECK(text.find("version=\"6.0.0.0\"") != std::string::npos);
}

}  // namespace
}  // namespace gui

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lexset-pe-check EXE i386|x64\n");
    return 2;
  }
  const std::string exe = argv[1];
  const bool x64 = std::strcmp(argv[2], "x64") == 0;
  std::ifstream in(exe, std::ios::binary);
  gui::g_file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (gui::g_file.empty()) {
    std::fprintf(stderr, "cannot read %s\n", exe.c_str());
    return 2;
  }
  std::printf("%s\n", exe.c_str());
  gui::Group("file: headers", [&] { gui::Headers(x64); });
  gui::Group("file: imported DLLs", [&] { gui::Imports(x64); });

  const HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!gui::Check(module != nullptr, "the executable loads as resources", __FILE__, __LINE__)) return gui::Summary();
  gui::Group("resources: main window template", [&] { gui::MainDialogTemplate(module); });
  gui::Group("resources: icon", [&] { gui::Icon(module); });
  gui::Group("resources: manifest", [&] { gui::Manifest(module); });
  FreeLibrary(module);
  return gui::Summary();
}
