//===- PeCheck.cpp - The executables, checked as files -------------------===//
//
// usage: lexset-pe-check EXE i386|x64
//
// The 32-bit product cannot run on this machine, so it is checked as a file:
// its headers, the DLLs it imports, and its resources, read back through the
// system's own resource and version functions and, where order matters, byte
// by byte.
//
//===----------------------------------------------------------------------===//
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/gui/AboutDialogTable.h"
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
  const char* const kSystem[] = {"kernel32.dll", "user32.dll",   "gdi32.dll",  "shell32.dll",
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
    const int n =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text, sizeof text, nullptr, nullptr);
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

// Text as the program shows it: UTF-16 in the ANSI code page.
std::string Narrow(const std::wstring& wide) {
  char text[1024];
  const int n =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text, sizeof text, nullptr, nullptr);
  return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

void AboutTemplate(HMODULE module) {
  const auto bytes = Resource(module, RT_DIALOG, MAKEINTRESOURCEA(kAboutTemplate));
  if (!CHECK(!bytes.empty())) return;
  // A classic template: no version and signature words, 16-bit identifiers.
  TemplateReader t(bytes);
  CHECK_EQ(t.Dword(), static_cast<DWORD>(kAboutStyle));
  CHECK_EQ(t.Dword(), 0u);  // exStyle
  const WORD items = t.Word();
  CHECK_EQ(items, static_cast<WORD>(std::size(kAboutControls)));
  CHECK_EQ(t.Short(), 0);
  CHECK_EQ(t.Short(), 0);
  CHECK_EQ(t.Short(), 235);
  CHECK_EQ(t.Short(), 55);
  CHECK_EQ(t.SzOrOrd(), "");  // no menu
  CHECK_EQ(t.SzOrOrd(), "");  // the standard dialog class
  CHECK_EQ(t.SzOrOrd(), kAboutCaption);
  CHECK_EQ(t.Word(), 9);  // points
  CHECK_EQ(t.SzOrOrd(), "宋体");
  for (std::size_t i = 0; i < items && i < std::size(kAboutControls); ++i) {
    const ControlRow& row = kAboutControls[i];
    t.AlignTo(4);
    CHECK_EQ(t.Dword(), static_cast<DWORD>(WS_CHILD | WS_VISIBLE | row.style));
    CHECK_EQ(t.Dword(), 0u);  // exStyle
    CHECK_EQ(t.Short(), row.x);
    CHECK_EQ(t.Short(), row.y);
    CHECK_EQ(t.Short(), row.width);
    CHECK_EQ(t.Short(), row.height);
    CHECK_EQ(static_cast<int>(t.Word()), row.id & 0xFFFF);
    CHECK_EQ(ClassOfAtom(t.SzOrOrd()), row.class_name);
    CHECK_EQ(t.SzOrOrd(), row.text);
    const WORD extra = t.Word();
    t.Skip(extra);
  }
  CHECK(!t.Ended());
}

void AboutMenuString(HMODULE module) {
  // Strings are stored sixteen to a block, block n holding 16(n-1) onwards.
  const auto block = Resource(module, RT_STRING, MAKEINTRESOURCEA(kAboutMenuString / 16 + 1));
  if (!CHECK(!block.empty())) return;
  std::vector<std::wstring> strings;
  for (std::size_t at = 0; at + 2 <= block.size() && strings.size() < 16;) {
    const std::size_t length = block[at] | block[at + 1] << 8;
    at += 2;
    std::wstring text;
    for (std::size_t i = 0; i < length && at + 2 <= block.size(); ++i, at += 2) {
      text += static_cast<wchar_t>(block[at] | block[at + 1] << 8);
    }
    strings.push_back(text);
  }
  if (!CHECK_EQ(strings.size(), std::size_t{16})) return;
  for (int i = 0; i < 16; ++i) {
    const int id = kAboutMenuString / 16 * 16 + i;
    CHECK_EQ(Narrow(strings[i]), id == kAboutMenuString ? std::string(kAboutMenuText) : std::string());
  }
}

// One node of a VS_VERSIONINFO tree: its key, value and children as stored.
struct VersionNode {
  std::string key;
  WORD type = 0;  // 1: text, 0: binary
  std::vector<unsigned char> value;
  std::string text;  // the value, when it is text
  std::vector<VersionNode> children;
};

// Reads the node at `at`, which takes up `length` bytes.
VersionNode ReadVersionNode(const std::vector<unsigned char>& bytes, std::size_t at) {
  VersionNode node;
  auto word = [&](std::size_t i) -> WORD { return i + 2 <= bytes.size() ? bytes[i] | bytes[i + 1] << 8 : 0; };
  const std::size_t end = std::min(bytes.size(), at + word(at));
  const std::size_t value_length = word(at + 2);
  node.type = word(at + 4);
  std::size_t i = at + 6;
  std::wstring key;
  for (; i + 2 <= end && word(i) != 0; i += 2) key += static_cast<wchar_t>(word(i));
  node.key = Narrow(key);
  i = (i + 2 + 3) / 4 * 4;
  // A text value's length counts UTF-16 units, its terminator among them.
  const std::size_t value_bytes = node.type == 1 ? value_length * 2 : value_length;
  if (i + value_bytes <= end) {
    node.value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                      bytes.begin() + static_cast<std::ptrdiff_t>(i + value_bytes));
    if (node.type == 1) {
      std::wstring text;
      for (std::size_t j = 0; j + 1 < value_bytes && word(i + j) != 0; j += 2)
        text += static_cast<wchar_t>(word(i + j));
      node.text = Narrow(text);
    }
  }
  i = (i + value_bytes + 3) / 4 * 4;
  while (i + 6 <= end) {
    const std::size_t child_length = word(i);
    if (child_length == 0) break;
    node.children.push_back(ReadVersionNode(bytes, i));
    i = (i + child_length + 3) / 4 * 4;
  }
  return node;
}

std::vector<std::string> Keys(const VersionNode& node) {
  std::vector<std::string> keys;
  for (const VersionNode& child : node.children) keys.push_back(child.key);
  return keys;
}

void VersionBlock(HMODULE module) {
  const auto bytes = Resource(module, RT_VERSION, MAKEINTRESOURCEA(1));
  if (!CHECK(!bytes.empty())) return;
  const VersionNode root = ReadVersionNode(bytes, 0);
  CHECK_EQ(root.key, "VS_VERSION_INFO");
  if (!CHECK_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO))) return;
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, root.value.data(), sizeof fixed);
  CHECK_EQ(fixed.dwSignature, 0xFEEF04BDul);
  CHECK_EQ(fixed.dwFileVersionMS, 0x00010000ul);  // 1.0
  CHECK_EQ(fixed.dwFileVersionLS, 0x00000001ul);  // .0.1
  CHECK_EQ(fixed.dwProductVersionMS, 0x00010000ul);
  CHECK_EQ(fixed.dwProductVersionLS, 0x00000001ul);
  CHECK_EQ(fixed.dwFileFlagsMask, 0x3Ful);
  CHECK_EQ(fixed.dwFileFlags, 0ul);
  CHECK_EQ(fixed.dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  CHECK_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
  CHECK_EQ(fixed.dwFileSubtype, 0ul);

  // One string table, then the translation list.
  if (!CHECK_EQ(Keys(root), (std::vector<std::string>{"StringFileInfo", "VarFileInfo"}))) return;
  const VersionNode& string_info = root.children[0];
  if (!CHECK_EQ(Keys(string_info), std::vector<std::string>{"080404b0"})) return;
  const VersionNode& table = string_info.children[0];
  std::vector<std::string> expected_keys;
  for (const VersionString& row : kVersionStrings) expected_keys.push_back(row.key);
  CHECK_EQ(Keys(table), expected_keys);
  for (std::size_t i = 0; i < table.children.size() && i < std::size(kVersionStrings); ++i) {
    CHECK_EQ(table.children[i].type, 1);
    CHECK_EQ(table.children[i].text, kVersionStrings[i].value);
  }
  const VersionNode& var_info = root.children[1];
  if (!CHECK_EQ(Keys(var_info), std::vector<std::string>{"Translation"})) return;
  CHECK_EQ(var_info.children[0].type, 0);
  CHECK_EQ(var_info.children[0].value, (std::vector<unsigned char>{0x04, 0x08, 0xB0, 0x04}));
}

// The same block as the system's version functions read it from the file.
void VersionInfo(const std::string& exe) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
  if (!CHECK(size > 0)) return;
  std::vector<unsigned char> info(size);
  if (!CHECK(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()))) return;

  void* value = nullptr;
  UINT length = 0;
  if (CHECK(VerQueryValueA(info.data(), "\\", &value, &length) && length == sizeof(VS_FIXEDFILEINFO))) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    CHECK_EQ(HIWORD(fixed->dwFileVersionMS), 1);
    CHECK_EQ(LOWORD(fixed->dwFileVersionMS), 0);
    CHECK_EQ(HIWORD(fixed->dwFileVersionLS), 0);
    CHECK_EQ(LOWORD(fixed->dwFileVersionLS), 1);
    CHECK_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    CHECK_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  }
  if (CHECK(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length) && length == 4)) {
    const auto* pair = static_cast<const WORD*>(value);
    CHECK_EQ(pair[0], 0x0804);
    CHECK_EQ(pair[1], 0x04B0);
  }
  for (const VersionString& row : kVersionStrings) {
    const std::string path = std::string("\\StringFileInfo\\080404b0\\") + row.key;
    value = nullptr;
    length = 0;
    if (!Check(VerQueryValueA(info.data(), path.c_str(), &value, &length) != 0, "VerQueryValue " + path, __FILE__,
               __LINE__)) {
      continue;
    }
    CHECK_EQ(std::string(static_cast<const char*>(value)), row.value);
  }
}

void Icon(HMODULE module) {
  const auto group = Resource(module, RT_GROUP_ICON, MAKEINTRESOURCEA(128));
  if (!CHECK(group.size() >= 6 + 14)) return;
  CHECK_EQ(static_cast<int>(group[4] | group[5] << 8), 1);    // one image
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

  const HMODULE module =
      LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!gui::Check(module != nullptr, "the executable loads as resources", __FILE__, __LINE__)) return gui::Summary();
  gui::Group("resources: main window template", [&] { gui::MainDialogTemplate(module); });
  gui::Group("resources: About box template", [&] { gui::AboutTemplate(module); });
  gui::Group("resources: About menu string", [&] { gui::AboutMenuString(module); });
  gui::Group("resources: version block, as stored", [&] { gui::VersionBlock(module); });
  gui::Group("resources: version block, as read", [&] { gui::VersionInfo(exe); });
  gui::Group("resources: icon", [&] { gui::Icon(module); });
  gui::Group("resources: manifest", [&] { gui::Manifest(module); });
  FreeLibrary(module);
  return gui::Summary();
}
