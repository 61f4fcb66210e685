//===- LinkHost.cpp - Link labels in a dialog of a test program's own ----===//
//
// usage: lexset-link-host REPORT           shows the dialog of LinkHost.rc
//        lexset-link-host REPORT lifetime  opens and closes many of them
//
// Runs the program's own hyperlink code on statics the main window does
// not have: every alignment, a text wider than its label, null, empty and
// over-long targets, another colour, a control that is not there and a heap
// that refuses memory. The GUI test driver works and watches the dialog as
// it does lexset's; this program only writes what AttachHyperlink returned,
// or in the lifetime run what it found on the heap, as "key=value" lines to
// REPORT.
//
//===----------------------------------------------------------------------===//
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/gui/LinkHostIds.h"
#include "ui/Hyperlink.h"

namespace {

std::string g_report;

void Report(const std::string& line) { g_report += line + "\n"; }

void WriteReport(const char* path) {
  const std::string partial = std::string(path) + ".partial";
  const HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, g_report.data(), static_cast<DWORD>(g_report.size()), &written, nullptr);
  CloseHandle(file);
  MoveFileExA(partial.c_str(), path, MOVEFILE_REPLACE_EXISTING);
}

// While a refusal is in place, the program's own calls of HeapAlloc fail:
// the slot of HeapAlloc in its import table points here instead.
int g_refused = 0;

LPVOID WINAPI RefuseHeapAlloc(HANDLE, DWORD, SIZE_T) {
  ++g_refused;
  return nullptr;
}

// The import table slot through which this program calls HeapAlloc.
void** HeapAllocSlot() {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); dll->Name != 0; ++dll) {
    if (dll->OriginalFirstThunk == 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(name->Name), "HeapAlloc") == 0) {
        return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
  }
  return nullptr;
}

// Makes HeapAlloc fail for as long as the object lives.
class HeapRefusal {
 public:
  HeapRefusal() : slot_(HeapAllocSlot()) {
    if (slot_ != nullptr) Swap(reinterpret_cast<void*>(&RefuseHeapAlloc));
  }
  ~HeapRefusal() {
    if (slot_ != nullptr) Swap(saved_);
  }
  HeapRefusal(const HeapRefusal&) = delete;
  HeapRefusal& operator=(const HeapRefusal&) = delete;

 private:
  void Swap(void* function) {
    DWORD protection;
    VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &protection);
    if (function != saved_) saved_ = *slot_;
    *slot_ = function;
    VirtualProtect(slot_, sizeof(void*), protection, &protection);
  }
  void** slot_;
  void* saved_ = nullptr;
};

void Attach(HWND dialog, int id, LPCSTR target, COLORREF colour = kDefaultLinkColour) {
  const BOOL attached = AttachHyperlink(dialog, id, target, colour);
  Report("attach id=" + std::to_string(id) + " result=" + std::to_string(attached));
}

// Attaches every label of the dialog as LinkHostIds.h describes.
void AttachAll(HWND dialog) {
  for (int id :
       {linkhost::kLeft, linkhost::kCentred, linkhost::kRight, linkhost::kMiddle, linkhost::kTop, linkhost::kLong}) {
    Attach(dialog, id, "http://labels.example/");
  }
  Attach(dialog, linkhost::kOwnText, nullptr);
  Attach(dialog, linkhost::kEmpty, "");
  std::string target = "http://long-target.example/";
  target.resize(linkhost::kLongTargetSize, 'x');
  Attach(dialog, linkhost::kLongTarget, target.c_str());
  Attach(dialog, linkhost::kGreen, "http://green.example/", linkhost::kGreenColour);
  {
    HeapRefusal refusal;
    Attach(dialog, linkhost::kNoMemory, "http://no-memory.example/");
  }
  Report("refused=" + std::to_string(g_refused));
  Attach(dialog, linkhost::kMissing, "http://missing.example/");
}

INT_PTR CALLBACK ShowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)lParam;
  switch (message) {
    case WM_INITDIALOG:
      AttachAll(dialog);
      WriteReport(reinterpret_cast<const char*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
      return TRUE;
    default:
      return FALSE;
  }
}

// Blocks of the process heap in use that are the size of a label's record.
int RecordsOnHeap() {
  int count = 0;
  const HANDLE heap = GetProcessHeap();
  HeapLock(heap);
  PROCESS_HEAP_ENTRY entry{};
  while (HeapWalk(heap, &entry)) {
    if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.cbData == sizeof(HyperlinkData)) ++count;
  }
  HeapUnlock(heap);
  return count;
}

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// Opens the dialog hidden and attaches its labels; returns the number
// attached.
HWND OpenLabelled(int* attached) {
  const HWND dialog =
      CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(linkhost::kDialog), nullptr, &QuietProc, 0);
  for (int id = linkhost::kLeft; id <= linkhost::kGreen; ++id) {
    if (AttachHyperlink(dialog, id, "http://lifetime.example/", kDefaultLinkColour)) ++*attached;
  }
  return dialog;
}

// Every record allocated while dialogs are open is freed when they close.
void Lifetime() {
  int attached = 0;
  DestroyWindow(OpenLabelled(&attached));  // the system's first-use allocations
  const int before = RecordsOnHeap();
  int peak = before;
  attached = 0;
  for (int round = 0; round < linkhost::kChurnRounds; ++round) {
    std::vector<HWND> dialogs;
    for (int i = 0; i < linkhost::kChurnDialogs; ++i) dialogs.push_back(OpenLabelled(&attached));
    const int open = RecordsOnHeap();
    if (open > peak) peak = open;
    for (HWND dialog : dialogs) DestroyWindow(dialog);
  }
  Report("lifetime attached=" + std::to_string(attached) + " before=" + std::to_string(before) +
         " peak=" + std::to_string(peak) + " after=" + std::to_string(RecordsOnHeap()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: lexset-link-host REPORT [lifetime]\n");
    return 2;
  }
  if (argc > 2 && std::strcmp(argv[2], "lifetime") == 0) {
    Lifetime();
    WriteReport(argv[1]);
    return 0;
  }
  DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(linkhost::kDialog), nullptr, &ShowProc,
                  reinterpret_cast<LPARAM>(argv[1]));
  return 0;
}
