//===- WindowsFileFaultTest.cpp - File faults on Windows -----------------===//
//
// Runs under Wine here: read-only and hidden attributes, a file held open by
// another program or opened by a scanner as soon as it is closed, folder
// names in code page 936 whose second byte is a backslash, the longest
// paths, a replacement the system stops half-way, and messages on systems
// of other code pages.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/JobMessages.h"
#include "core/OwnReasons.h"
#include "core/TidyJob.h"
#include "platform/TemporaryName.h"
#include "platform/WideText.h"
#include "tests/TestSupport.h"

namespace lexset::test {
namespace {

using Names = std::vector<std::string>;

// Names of the files in `folder`, through the ANSI functions.
Names ListAnsi(const std::string& folder) {
  Names names;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// Holds a file open with no sharing at all, as some editors do.
HANDLE HoldExclusively(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

DWORD WINAPI ReleaseLater(void* file) {
  Sleep(300);
  CloseHandle(static_cast<HANDLE>(file));
  return 0;
}

TEST(WindowsFileTest, ReadOnlyResultIsNotReplaced) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "a");
  WriteFile(folder.Path("result.txt"), "precious");
  ASSERT_TRUE(SetFileAttributesA(folder.Path("result.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("result.txt"));
  EXPECT_EQ(outcome.status, JobStatus::kResultUnwritable);
  EXPECT_FALSE(outcome.reason.empty());
  EXPECT_EQ(ReadFile(folder.Path("result.txt")), "precious");
  EXPECT_EQ(folder.List(), (Names{"result.txt", "source.txt"}));
  SetFileAttributesA(folder.Path("result.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsFileTest, HiddenResultStaysHidden) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "b a");
  WriteFile(folder.Path("result.txt"), "old");
  ASSERT_TRUE(SetFileAttributesA(folder.Path("result.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_EQ(TidyWordList(folder.Path("source.txt"), folder.Path("result.txt")).status, JobStatus::kCompleted);
  EXPECT_EQ(ReadFile(folder.Path("result.txt")), "a\r\nb\r\n");
  EXPECT_NE(GetFileAttributesA(folder.Path("result.txt").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(folder.List(), (Names{"result.txt", "source.txt"}));
}

TEST(WindowsFileTest, ResultHeldOpenByAnotherProgram) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "a");
  WriteFile(folder.Path("result.txt"), "precious");
  const HANDLE held = HoldExclusively(folder.Path("result.txt"));
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("result.txt"));
  CloseHandle(held);
  EXPECT_EQ(outcome.status, JobStatus::kResultUnwritable);
  EXPECT_EQ(ReadFile(folder.Path("result.txt")), "precious");
  EXPECT_EQ(folder.List(), (Names{"result.txt", "source.txt"}));
}

TEST(WindowsFileTest, ResultHeldBrieflyIsWaitedFor) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "b a");
  WriteFile(folder.Path("result.txt"), "old");
  const HANDLE held = HoldExclusively(folder.Path("result.txt"));
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const HANDLE releaser = CreateThread(nullptr, 0, &ReleaseLater, held, 0, nullptr);
  ASSERT_NE(releaser, nullptr);
  const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("result.txt"));
  WaitForSingleObject(releaser, INFINITE);
  CloseHandle(releaser);
  EXPECT_EQ(outcome.status, JobStatus::kCompleted) << outcome.reason;
  EXPECT_EQ(ReadFile(folder.Path("result.txt")), "a\r\nb\r\n");
  EXPECT_EQ(folder.List(), (Names{"result.txt", "source.txt"}));
}

TEST(WindowsFileTest, SourceHeldOpenByAnotherProgram) {
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "a");
  const HANDLE held = CreateFileA(folder.Path("source.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("result.txt"));
  CloseHandle(held);
  EXPECT_EQ(outcome.status, JobStatus::kSourceUnreadable);
  EXPECT_FALSE(outcome.reason.empty());
  EXPECT_EQ(folder.List(), Names{"source.txt"});
}

TEST(WindowsFileTest, LeftoverStillInUseStays) {
  // Another run's temporary file is open in it, so it cannot be deleted.
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "a");
  const std::string busy = folder.Path(".~lexset-00000000000000aa.tmp");
  WriteFile(busy, "another run's words");
  std::filesystem::last_write_time(busy, std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
  const HANDLE held = CreateFileA(busy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_EQ(TidyWordList(folder.Path("source.txt"), folder.Path("result.txt")).status, JobStatus::kCompleted);
  CloseHandle(held);
  EXPECT_EQ(folder.List(), (Names{".~lexset-00000000000000aa.tmp", "result.txt", "source.txt"}));
}

TEST(WindowsFileTest, NamesWhoseSecondByteIsABackslash) {
  if (GetACP() != 936) GTEST_SKIP() << "needs the ANSI code page 936";
  ScratchFolder folder;
  WriteFile(folder.Path("source.txt"), "b a");
  // 乗 is 81 5C and 亅 is 81 7C in code page 936. Joined by hand, since
  // std::filesystem would reinterpret the ANSI bytes.
  const std::string base = folder.path().string() + "\\";
  for (const char* name : {"\x81\x5c", "\x81\x7c", "\xd5\xfb\xc0\xed\x81\x5c"}) {
    const std::string sub = base + name;
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr)) << GetLastError();
    for (const char* result : {"\\result.txt", "\\\x81\x5c.txt"}) {
      for (int run = 0; run < 2; ++run) {  // a new result, then a replaced one
        const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), sub + result);
        ASSERT_EQ(outcome.status, JobStatus::kCompleted) << outcome.reason;
        EXPECT_EQ(ReadFile(sub + result), "a\r\nb\r\n");
      }
    }
    EXPECT_EQ(ListAnsi(sub), (Names{"result.txt", "\x81\x5c.txt"}));
  }
}

TEST(WindowsFileTest, LongestPathThroughDoubleByteFolders) {
  if (GetACP() != 936) GTEST_SKIP() << "needs the ANSI code page 936";
  // 259 characters in more bytes, through folders named in 乗 (81 5C).
  ScratchFolder folder;
  const std::string source = folder.Path("source.txt");
  WriteFile(source, "b a b");
  std::string inside = folder.path().string();
  for (std::size_t chars = inside.size(), left; (left = 259 - chars - 6) > 0; chars += left) {
    if (left > 100) left = 60;
    inside += '\\';
    for (std::size_t i = 1; i < left; ++i) inside += "\x81\x5c";
    std::wstring wide(inside.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, inside.data(), inside.size(), &wide[0], wide.size()));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + wide).c_str(), nullptr)) << GetLastError();
  }
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, (inside + "\\r.txt").c_str(), -1, nullptr, 0), 259 + 1);
  JobOptions spill;
  spill.memory_limit = 64;  // through run files beside the result
  for (const char* name : {"\\r.txt", "\\\x81\x5c.txt"}) {
    for (const std::string& from : {source, inside + name}) {  // a new result, then replaced in place
      const JobOutcome outcome = TidyWordList(from, inside + name, spill);
      ASSERT_EQ(outcome.status, JobStatus::kCompleted) << outcome.reason;
      EXPECT_EQ(ReadFile(inside + name), "a\r\nb\r\n");
    }
  }
  EXPECT_EQ(ListAnsi(inside), (Names{"r.txt", "\x81\x5c.txt"}));
}

// A message reads right on every system: the program's words and its own
// reasons from code page 936, the path and the system's reasons from the
// system's code page (run under code page 1252 as well).
TEST(WindowsMessageTest, EachPartInItsOwnCodePage) {
  wchar_t* system_text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 ERROR_ACCESS_DENIED, 0, reinterpret_cast<LPWSTR>(&system_text), 0, nullptr);
  ASSERT_NE(system_text, nullptr);
  const std::wstring system_reason = system_text;
  LocalFree(system_text);
  const struct {
    std::string reason;
    std::wstring shown;
  } rows[] = {
      {kReasonIsFolder, L"这是一个文件夹，不是文件。"},
      {kReasonIsReadOnly, L"这是一个只读文件。"},
      {ReasonForCode(4242), L"错误代码 4242"},  // an error the system cannot describe
      {Narrow(system_reason, CP_ACP), system_reason},
  };
  const std::wstring path = L"C:\\café\\result.txt";  // é is in code pages 936 and 1252 alike
  for (const auto& row : rows) {
    const JobOutcome outcome{JobStatus::kResultUnwritable, Narrow(path, CP_ACP), row.reason};
    EXPECT_EQ(WideText(DescribeOutcome(outcome)),
              L"无法写入结果文件“" + path + L"”。\r\n" + row.shown + L"\r\n结果文件未作任何改动。");
  }
}

// Points this program's import of `function` at `replacement`, and returns
// what it pointed at: the job's calls to the system go through it.
void* RedirectImport(const char* function, void* replacement) {
  auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); dll->Name != 0; ++dll) {
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
    for (auto* entry = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
         entry->u1.AddressOfData != 0; ++entry, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(entry->u1.Ordinal) ||
          std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + entry->u1.AddressOfData)->Name, function) != 0) {
        continue;
      }
      DWORD protection = 0;
      VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &protection);
      void* const previous = reinterpret_cast<void*>(slot->u1.Function);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
      return previous;
    }
  }
  return nullptr;
}

bool g_name_taken = false;

// ReplaceFileW stopping half-way, as when the new file cannot be moved in:
// the old one has the backup name. With g_name_taken, another program has
// meanwhile made a file of the replaced one's name.
BOOL WINAPI ReplaceHalfWay(LPCWSTR replaced, LPCWSTR, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
  MoveFileExW(replaced, backup, 0);
  if (g_name_taken) CloseHandle(CreateFileW(replaced, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
  return FALSE;
}

TEST(WindowsFileTest, ReplacementStoppedHalfWay) {
  struct Redirect {
    void* system = RedirectImport("ReplaceFileW", reinterpret_cast<void*>(&ReplaceHalfWay));
    ~Redirect() { RedirectImport("ReplaceFileW", system); }
  } redirect;
  ASSERT_NE(redirect.system, nullptr);
  for (const bool taken : {false, true}) {
    ScratchFolder folder;
    const std::string result = folder.Path("result.txt");
    WriteFile(folder.Path("source.txt"), "b a");
    WriteFile(result, "precious");
    // Old, as a leftover would look: the rename keeps the time.
    std::filesystem::last_write_time(result, std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
    g_name_taken = taken;
    const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), result);
    EXPECT_EQ(outcome.status, JobStatus::kResultUnwritable);
    const std::string message = DescribeOutcome(outcome).text;
    if (!taken) {  // the old file went back
      EXPECT_EQ(outcome.old_content_path, "");
      EXPECT_NE(message.find("结果文件未作任何改动。"), std::string::npos) << message;
      EXPECT_EQ(ReadFile(result), "precious");
      EXPECT_EQ(folder.List(), (Names{"result.txt", "source.txt"}));
      continue;
    }
    // The other program's file stays; the message names where the old
    // content is, and no later job in the folder removes it.
    const Names names = folder.List();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(outcome.old_content_path, folder.Path(names[0]));
    EXPECT_NE(message.find("“" + folder.Path(names[0]) + "”"), std::string::npos) << message;
    EXPECT_EQ(message.find("未作任何改动"), std::string::npos) << message;
    EXPECT_EQ(ReadFile(folder.Path(names[0])), "precious");
    EXPECT_EQ(ReadFile(result), "");
    ASSERT_EQ(TidyWordList(folder.Path("source.txt"), folder.Path("other.txt")).status, JobStatus::kCompleted);
    EXPECT_EQ(folder.List(), (Names{names[0], "other.txt", "result.txt", "source.txt"}));
  }
}

BOOL(WINAPI* g_delete_file)(LPCWSTR) = nullptr;

// Deleting a backup fails, as while another program has it open.
BOOL WINAPI DeleteAllButBackups(LPCWSTR path) {
  const std::size_t length = wcslen(path);
  if (length > 4 && wcscmp(path + length - 4, L".bak") == 0) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  return g_delete_file(path);
}

TEST(WindowsFileTest, BackupOfACompletedReplacementIsLeftToTheCleanUp) {
  ScratchFolder folder;
  const std::string result = folder.Path("result.txt");
  WriteFile(folder.Path("source.txt"), "b a");
  WriteFile(result, "old");
  std::filesystem::last_write_time(result, std::filesystem::file_time_type::clock::now() - std::chrono::hours(2));
  {
    struct Redirect {
      Redirect() {
        void* const system = RedirectImport("DeleteFileW", reinterpret_cast<void*>(&DeleteAllButBackups));
        g_delete_file = reinterpret_cast<decltype(g_delete_file)>(system);
      }
      ~Redirect() { RedirectImport("DeleteFileW", reinterpret_cast<void*>(g_delete_file)); }
    } redirect;
    ASSERT_NE(g_delete_file, nullptr);
    ASSERT_EQ(TidyWordList(folder.Path("source.txt"), result).status, JobStatus::kCompleted);
  }
  EXPECT_EQ(ReadFile(result), "a\r\nb\r\n");
  // The old content under a leftover's name, not a backup's ...
  const Names names = folder.List();
  ASSERT_EQ(names.size(), 3u);
  EXPECT_TRUE(IsLeftoverName(names[0])) << names[0];
  EXPECT_EQ(ReadFile(folder.Path(names[0])), "old");
  // ... which the next job in the folder removes.
  ASSERT_EQ(TidyWordList(folder.Path("source.txt"), folder.Path("other.txt")).status, JobStatus::kCompleted);
  EXPECT_EQ(folder.List(), (Names{"other.txt", "result.txt", "source.txt"}));
}

BOOL(WINAPI* g_close_handle)(HANDLE) = nullptr;
DWORD g_scanner_sharing = 0;
int g_scans = 0;

DWORD WINAPI ScannerLetsGo(void* file) {
  Sleep(300);
  g_close_handle(static_cast<HANDLE>(file));
  return 0;
}

// A virus scanner or indexer: it opens every file of the program's own
// names as soon as the program closes it, and holds it a while.
BOOL WINAPI CloseAndScan(HANDLE handle) {
  wchar_t path[MAX_PATH * 2] = L"";
  const DWORD length = GetFinalPathNameByHandleW(handle, path, std::size(path), FILE_NAME_NORMALIZED);
  const BOOL closed = g_close_handle(handle);
  if (length == 0 || length >= std::size(path) || wcsstr(path, L".~lexset-") == nullptr) return closed;
  const HANDLE scan = CreateFileW(path, GENERIC_READ, g_scanner_sharing, nullptr, OPEN_EXISTING, 0, nullptr);
  if (scan != INVALID_HANDLE_VALUE) {
    ++g_scans;
    g_close_handle(CreateThread(nullptr, 0, &ScannerLetsGo, scan, 0, nullptr));
  }
  return closed;
}

// The result's temporary file is read back when something out of order
// comes after a stretch in order, and then replaced: neither is stopped by
// a scanner that opens what the program has just closed, whatever it
// shares.
TEST(WindowsFileTest, ScannerOpensWhatTheProgramCloses) {
  struct Redirect {
    Redirect() {
      void* const system = RedirectImport("CloseHandle", reinterpret_cast<void*>(&CloseAndScan));
      g_close_handle = reinterpret_cast<decltype(g_close_handle)>(system);
    }
    ~Redirect() { RedirectImport("CloseHandle", reinterpret_cast<void*>(g_close_handle)); }
  } redirect;
  ASSERT_NE(g_close_handle, nullptr);
  JobOptions options;
  options.stretch_from = 1;
  for (const DWORD sharing : {DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}, DWORD{FILE_SHARE_READ}}) {
    ScratchFolder folder;
    WriteFile(folder.Path("source.txt"), "a b c d e a");
    WriteFile(folder.Path("result.txt"), "old");
    g_scanner_sharing = sharing;
    g_scans = 0;
    const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), folder.Path("result.txt"), options);
    EXPECT_EQ(outcome.status, JobStatus::kCompleted) << Narrow(WideText(DescribeOutcome(outcome)), CP_UTF8);
    EXPECT_GT(g_scans, 0);
    EXPECT_EQ(ReadFile(folder.Path("result.txt")), "a\r\nb\r\nc\r\nd\r\ne\r\n");
    Sleep(400);  // the scanner lets go
    EXPECT_EQ(folder.List(), (Names{"result.txt", "source.txt"}));
  }
}

// Watches a folder from another thread while the job waits for a held
// result, to see the temporary file's name.
struct FolderWatch {
  std::string folder;
  Names seen;
  volatile bool stop = false;

  static DWORD WINAPI Run(void* self) {
    auto* watch = static_cast<FolderWatch*>(self);
    while (!watch->stop) {
      for (const std::string& name : ListAnsi(watch->folder)) {
        if (std::find(watch->seen.begin(), watch->seen.end(), name) == watch->seen.end()) watch->seen.push_back(name);
      }
      Sleep(10);
    }
    return 0;
  }
};

TEST(WindowsFileTest, TemporaryFileNameAfterADoubleByteName) {
  if (GetACP() != 936) GTEST_SKIP() << "needs the ANSI code page 936";
  ScratchFolder folder;
  const std::string base = folder.path().string() + "\\";
  const std::string result = base + "\x81\x5c.txt";
  WriteFile(folder.Path("source.txt"), "a");
  {
    const HANDLE file = CreateFileA(result.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  const HANDLE held = HoldExclusively(result);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  FolderWatch watch{folder.path().string(), {}};
  const HANDLE watcher = CreateThread(nullptr, 0, &FolderWatch::Run, &watch, 0, nullptr);
  const JobOutcome outcome = TidyWordList(folder.Path("source.txt"), result);
  watch.stop = true;
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);
  CloseHandle(held);

  EXPECT_EQ(outcome.status, JobStatus::kResultUnwritable);
  // The temporary file sat next to the result under a name of the program's own.
  Names temporary;
  for (const std::string& name : watch.seen) {
    if (name != "source.txt" && name != "\x81\x5c.txt") temporary.push_back(name);
  }
  ASSERT_EQ(temporary.size(), 1u);
  EXPECT_TRUE(HasTemporaryFile(temporary)) << temporary[0];
  EXPECT_EQ(ListAnsi(folder.path().string()), (Names{"source.txt", "\x81\x5c.txt"}));
}

}  // namespace
}  // namespace lexset::test
