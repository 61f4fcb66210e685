//===- LinkTest.cpp - The link labels, as a user sees and clicks them ----===//
//
// The website and e-mail labels of the real window; then, for what that
// window cannot show, labels of the program's own link code on a window of
// this test's own: every alignment, a text wider than its label, null,
// empty and over-long targets, another colour, and failures to attach.
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "tests/gui/GuiTest.h"
#include "ui/Hyperlink.h"

namespace gui {
namespace {

constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kPurple = RGB(128, 0, 128);

// What a window shows on the screen in a colour: its "ink" is every pixel
// that differs from the button face the labels sit on.
struct Ink {
  int width = 0, height = 0;  // of the client area
  RECT box{0, 0, 0, 0};       // round the ink
  bool any = false;
  // Every pixel lies between the face and the colour, channel by channel,
  // as text of that colour smoothed onto the face does.
  bool only_colour = true;
  // A row of pixels of exactly the colour runs across the ink.
  bool underlined = false;
};

bool Between(int v, int from, int to) { return v >= std::min(from, to) - 4 && v <= std::max(from, to) + 4; }

Ink InkOf(HWND window, COLORREF colour) {
  Ink ink;
  RECT client;
  POINT origin{0, 0};
  if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin) || client.right <= 0) return ink;
  const int w = ink.width = client.right, h = ink.height = client.bottom;
  BITMAPINFO format{};
  format.bmiHeader = {sizeof format.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};  // top row first
  void* bits = nullptr;
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  std::vector<COLORREF> pixels(static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const BYTE* bgrx = static_cast<const BYTE*>(bits) + 4 * i;
    pixels[i] = RGB(bgrx[2], bgrx[1], bgrx[0]);
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  ink.box = {w, h, 0, 0};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const COLORREF c = pixels[static_cast<std::size_t>(y) * w + x];
      if (c == face) continue;
      ink.any = true;
      ink.box = {std::min<LONG>(ink.box.left, x), std::min<LONG>(ink.box.top, y), std::max<LONG>(ink.box.right, x + 1),
                 std::max<LONG>(ink.box.bottom, y + 1)};
      ink.only_colour = ink.only_colour && Between(GetRValue(c), GetRValue(face), GetRValue(colour)) &&
                        Between(GetGValue(c), GetGValue(face), GetGValue(colour)) &&
                        Between(GetBValue(c), GetBValue(face), GetBValue(colour));
    }
  }
  if (!ink.any) return Ink{w, h, {0, 0, 0, 0}, false, false, false};
  // A glyph such as '/' may reach a pixel or two past the line.
  for (int y = ink.box.top; y < ink.box.bottom && !ink.underlined; ++y) {
    int run = 0;
    for (int x = ink.box.left; x < ink.box.right && !ink.underlined; ++x) {
      run = pixels[static_cast<std::size_t>(y) * w + x] == colour ? run + 1 : 0;
      ink.underlined = run * 10 >= (ink.box.right - ink.box.left) * 9;
    }
  }
  return ink;
}

// Checks that `label` shows a link in `colour`: its text smoothed in that
// colour on the button face, underlined; waits for it to be drawn so.
Ink ExpectLink(HWND label, COLORREF colour) {
  Ink ink;
  WaitUntil(
      [&] {
        ink = InkOf(label, colour);
        return ink.any && ink.only_colour && ink.underlined;
      },
      5000);
  EXPECT_TRUE(ink.any) << "the label shows nothing";
  EXPECT_TRUE(ink.only_colour) << "the label has pixels of another colour";
  EXPECT_TRUE(ink.underlined) << "the label is not underlined";
  return ink;
}

// A click as the mouse makes it: press and release over the label.
void ClickLink(HWND label) {
  PostMessageA(label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageA(label, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

std::size_t TimesOpened(const std::string& target) {
  const std::string log = ShellLog(), quoted = "\"" + target + "\"";
  std::size_t n = 0;
  for (std::size_t at = log.find(quoted); at != std::string::npos; at = log.find(quoted, at + 1)) ++n;
  return n;
}

// Waits until the shell has been asked to open `target` more than `before`
// times.
bool Opened(const std::string& target, std::size_t before) {
  return WaitUntil([&] { return TimesOpened(target) > before; });
}

LRESULT HitTest(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  DWORD_PTR hit = 0;
  SendMessageTimeoutA(control, WM_NCHITTEST, 0, MAKELPARAM(rect.left + 1, rect.top + 1), SMTO_ABORTIFHUNG, 5000, &hit);
  return static_cast<LRESULT>(hit);
}

// --- The main window's labels ---------------------------------------------

constexpr char kWebsite[] = "http://www.example.com/";
constexpr char kEmail[] = "mailto:me@example.com";

// The hand a link shows, as the probe draws a cursor: '.' leaves the
// screen, '#' is black, 'o' white; the rest of the 32 x 32 is '.'.
const char* const kHand[] = {
    "",                   //
    ".....##",            //
    "....#oo#",           //
    "....#oo#",           //
    "....#oo#",           //
    "....#oo#",           //
    "....#oo###.##.##",   //
    "....#oo#oo#oo#oo#",  //
    "..###oo#oo#oo#oo#",  //
    ".#oo#oo#oo#oo#oo#",  //
    ".#oo#oo#oo#oo#oo#",  //
    ".#oo#ooooooooooo#",  //
    ".#oooooooooooooo#",  //
    ".#oooooooooooooo#",  //
    "..#ooooooooooooo#",  //
    "...#oooooooooooo#",  //
    "....#oooooooooo#",   //
    "....############",   //
    "....############",   //
};

TEST(LinkTest, MainWindowLabelsShowLinksAndTheHand) {
  App app;
  ASSERT_TRUE(app.Start());
  for (int id : {IDC_WEBSITE_LINK, IDC_EMAIL_LINK}) {
    SCOPED_TRACE(id);
    // Left aligned as the static is; the label takes the mouse.
    EXPECT_LE(ExpectLink(app.Item(id), kBlue).box.left, 1);
    EXPECT_EQ(HitTest(app.Item(id)), HTCLIENT);
  }
  EXPECT_EQ(HitTest(GetDlgItem(app.dialog(), IDC_STATIC)), HTTRANSPARENT);

  // One hand cursor, made once, for both labels: monochrome, its hot spot
  // at the fingertip.
  auto probe = app.Probe();
  const std::string website = probe["cursor-website"];
  EXPECT_EQ(website.substr(website.find(' ') + 1), "5,2 mono");
  EXPECT_EQ(probe["cursor-email"], website);
  EXPECT_NE(probe["cursor-plain"], website);
  std::string expected;
  for (std::size_t y = 0; y < 32; ++y) {
    const std::string row = y < std::size(kHand) ? kHand[y] : "";
    expected += row + std::string(32 - row.size(), '.') + (y < 31 ? "/" : "");
  }
  EXPECT_EQ(probe["picture-website"], expected);
}

TEST(LinkTest, ClickOpensTheTargetAndTheLabelStaysPurple) {
  App app;
  ASSERT_TRUE(app.Start());
  const HWND website = app.Item(IDC_WEBSITE_LINK), email = app.Item(IDC_EMAIL_LINK);
  const std::size_t sites = TimesOpened(kWebsite), mails = TimesOpened(kEmail);
  ClickLink(website);
  EXPECT_TRUE(Opened(kWebsite, sites));
  ExpectLink(website, kPurple);
  ExpectLink(email, kBlue);
  // Minimised and restored, the window is drawn afresh: still visited.
  ShowWindow(app.dialog(), SW_MINIMIZE);
  EXPECT_TRUE(WaitUntil([&] { return IsIconic(app.dialog()) != 0; }));
  ShowWindow(app.dialog(), SW_RESTORE);
  EXPECT_TRUE(WaitUntil([&] { return !IsIconic(app.dialog()); }));
  ExpectLink(website, kPurple);
  ExpectLink(email, kBlue);
  // A second click opens the target again.
  ClickLink(website);
  EXPECT_TRUE(Opened(kWebsite, sites + 1));
  ClickLink(email);
  EXPECT_TRUE(Opened(kEmail, mails));
  ExpectLink(email, kPurple);
  EXPECT_EQ(OwnedDialog(app.dialog()), nullptr);
  EXPECT_TRUE(app.Running());
}

TEST(LinkTest, OnlyAPressAndAReleaseMakeAClick) {
  App app;
  ASSERT_TRUE(app.Start());
  const HWND website = app.Item(IDC_WEBSITE_LINK), email = app.Item(IDC_EMAIL_LINK);
  // A release with no press before it is no click; a press on one label and
  // a release on the other opens the second's target, and uses up the press.
  const std::size_t sites = TimesOpened(kWebsite), mails = TimesOpened(kEmail);
  PostMessageA(website, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  PostMessageA(website, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageA(email, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_TRUE(Opened(kEmail, mails));
  ExpectLink(website, kBlue);
  PostMessageA(email, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  ClickLink(website);
  EXPECT_TRUE(Opened(kWebsite, sites));
  EXPECT_EQ(TimesOpened(kEmail), mails + 1);
  EXPECT_EQ(TimesOpened(kWebsite), sites + 1);
}

// --- At the display scalings users have ------------------------------------

// The scaling that programs started from now on in the prefix draw at, as
// dots per inch; the prefix's own 96 again once it goes.
class Scaling {
 public:
  explicit Scaling(DWORD dpi) { Set(&dpi); }
  ~Scaling() { Set(nullptr); }
  Scaling(const Scaling&) = delete;
  Scaling& operator=(const Scaling&) = delete;

 private:
  static void Set(const DWORD* dpi) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      ADD_FAILURE() << "cannot set the display scaling";
      return;
    }
    if (dpi != nullptr) {
      RegSetValueExA(key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(dpi), sizeof *dpi);
    } else {
      RegDeleteValueA(key, "LogPixels");
    }
    RegCloseKey(key);
  }
};

struct Scale {
  const char* name;
  DWORD dpi;
};

// 100 %, where the labels' texts just fit in the default GUI font, and
// 150 %, where the dialog grows less than that font.
const Scale kScales[] = {{"At100Percent", 96}, {"At150Percent", 144}};

void PrintTo(const Scale& row, std::ostream* out) { *out << row.name; }

class ScalingTest : public ::testing::TestWithParam<Scale> {};

TEST_P(ScalingTest, LinksAndEveryOtherTextAreWhole) {
  const Scaling scaling(GetParam().dpi);
  App app;
  ASSERT_TRUE(app.Start());
  auto probe = app.Probe();
  EXPECT_EQ(probe["dpi"], std::to_string(GetParam().dpi));
  EXPECT_EQ(probe["cut"], "");
  for (int id : {IDC_WEBSITE_LINK, IDC_EMAIL_LINK}) {
    SCOPED_TRACE(id);
    const Ink ink = ExpectLink(app.Item(id), kBlue);
    // The underline runs under the whole text, so it reaches the right edge
    // only where the text is cut there.
    EXPECT_LE(ink.box.left, 1);
    EXPECT_LT(ink.box.right, ink.width);
  }
  PostMessageA(app.dialog(), WM_SYSCOMMAND, IDM_ABOUT, 0);
  ASSERT_NE(app.WaitForOwned(), nullptr);
  EXPECT_EQ(app.Probe()["box-cut"], "");
}

INSTANTIATE_TEST_SUITE_P(Rows, ScalingTest, ::testing::ValuesIn(kScales),
                         [](const ::testing::TestParamInfo<Scale>& info) { return std::string(info.param.name); });

// --- Labels on a window of the test's own ---------------------------------

// The slot of HeapAlloc in this program's import table: the calls that the
// program's own code makes go through it.
void** HeapAllocSlot() {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); dll->Name != 0; ++dll) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
    for (; dll->OriginalFirstThunk != 0 && names->u1.AddressOfData != 0; ++names, ++slots) {
      const auto* name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) && std::strcmp(name->Name, "HeapAlloc") == 0) {
        return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
  }
  return nullptr;
}

// Puts `function` in `slot`; returns what was there.
void* Patch(void** slot, void* function) {
  DWORD protection;
  VirtualProtect(slot, sizeof function, PAGE_READWRITE, &protection);
  std::swap(*slot, function);
  VirtualProtect(slot, sizeof function, protection, &protection);
  return function;
}

int g_refused = 0;
LPVOID WINAPI RefuseHeapAlloc(HANDLE, DWORD, SIZE_T) {
  ++g_refused;
  return nullptr;
}

// A window of the test's own, its messages run by WaitUntil as the
// program's UI thread runs its labels, with label kLabel on it.
class LabelWindow {
 public:
  static constexpr int kLabel = 100;
  LabelWindow() {
    struct {
      DLGTEMPLATE dialog;
      WORD menu, window_class, caption;
    } const form = {{WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 20, 20, 200, 100}, 0, 0, 0};
    window_ = CreateDialogIndirectParamA(nullptr, &form.dialog, nullptr, &Procedure, 0);
  }
  ~LabelWindow() { DestroyWindow(window_); }
  LabelWindow(const LabelWindow&) = delete;
  LabelWindow& operator=(const LabelWindow&) = delete;
  HWND window() const { return window_; }
  HWND label() const { return GetDlgItem(window_, kLabel); }

  // Makes the label, in the font of a dialog (MS Shell Dlg), and attaches a
  // link to it before it is first drawn, as the program does; with
  // `refuse`, while HeapAlloc fails. Returns what attaching returned.
  BOOL Attach(DWORD style, int width, int height, const char* text, const char* target, COLORREF colour,
              bool refuse = false) const {
    const HWND label = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | style, 10, 10, width, height, window_,
                                       reinterpret_cast<HMENU>(kLabel), nullptr, nullptr);
    SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    void** const slot = refuse ? HeapAllocSlot() : nullptr;
    void* const saved = slot != nullptr ? Patch(slot, reinterpret_cast<void*>(&RefuseHeapAlloc)) : nullptr;
    const BOOL attached = AttachHyperlink(window_, kLabel, target, colour);
    if (slot != nullptr) Patch(slot, saved);
    return attached;
  }

 private:
  static INT_PTR CALLBACK Procedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }
  HWND window_;
};

enum class Place { kLeft, kCentre, kRight, kMiddle, kTop, kCut };

// A label and what a user must see of it.
struct Label {
  const char* name;
  DWORD style;  // the static's, besides WS_CHILD and WS_VISIBLE
  int width, height;
  const char* text;
  const char* target;  // as attached
  COLORREF colour;     // as attached
  Place place;         // where its text is drawn
  std::string opens;   // what a click hands the shell
};

const std::string kLongTarget = "http://long-target.example/" + std::string(273, 'x');

const Label kLabels[] = {
    {"LeftAligned", SS_LEFT, 240, 16, "left aligned", "http://a.example/", kDefaultLinkColour, Place::kLeft,
     "http://a.example/"},
    {"Centred", SS_CENTER, 240, 16, "centred", "http://a.example/", kDefaultLinkColour, Place::kCentre,
     "http://a.example/"},
    {"RightAligned", SS_RIGHT, 240, 16, "right aligned", "http://a.example/", kDefaultLinkColour, Place::kRight,
     "http://a.example/"},
    {"CentredVertically", SS_CENTERIMAGE, 240, 48, "middle", "http://a.example/", kDefaultLinkColour, Place::kMiddle,
     "http://a.example/"},
    {"TallAtTheTop", SS_LEFT, 240, 48, "top", "http://a.example/", kDefaultLinkColour, Place::kTop,
     "http://a.example/"},
    // One line, cut at the right edge, though there is room for three.
    {"WiderThanTheLabel", SS_LEFT, 90, 48, "a rather long text that cannot fit into this narrow label",
     "http://a.example/", kDefaultLinkColour, Place::kCut, "http://a.example/"},
    {"NoTarget", SS_LEFT, 240, 16, "http://own-text.example/", nullptr, kDefaultLinkColour, Place::kLeft,
     "http://own-text.example/"},
    {"EmptyTarget", SS_LEFT, 240, 16, "http://own-text.example/", "", kDefaultLinkColour, Place::kLeft,
     "http://own-text.example/"},
    // Cut to what the record holds, with its terminator.
    {"LongTarget", SS_LEFT, 240, 16, "long target", kLongTarget.c_str(), kDefaultLinkColour, Place::kLeft,
     kLongTarget.substr(0, kHyperlinkTargetSize - 1)},
    {"Green", SS_LEFT, 240, 16, "green", "http://green.example/", RGB(0, 128, 0), Place::kLeft,
     "http://green.example/"},
};

class LabelTest : public ::testing::TestWithParam<Label> {};

TEST_P(LabelTest, ShowsALinkWhereTheStaticPutsItsTextAndOpensItsTarget) {
  const Label& row = GetParam();
  LabelWindow window;
  ASSERT_TRUE(window.Attach(row.style, row.width, row.height, row.text, row.target, row.colour));
  const Ink ink = ExpectLink(window.label(), row.colour == kDefaultLinkColour ? kBlue : row.colour);
  const LONG left = ink.box.left, right = ink.width - ink.box.right;
  const LONG above = ink.box.top, below = ink.height - ink.box.bottom;
  switch (row.place) {
    case Place::kLeft:
      EXPECT_LE(left, 1);
      EXPECT_GT(right, ink.width / 3);
      break;
    case Place::kCentre:
      EXPECT_GT(left, ink.width / 4);
      EXPECT_LE(std::abs(left - right), 2);
      break;
    case Place::kRight:
      EXPECT_GT(left, ink.width / 3);
      EXPECT_LE(right, 1);
      break;
    case Place::kMiddle:
      EXPECT_GT(above, 3);
      EXPECT_LE(std::abs(above - below), 3);
      break;
    case Place::kTop:
      EXPECT_LE(above, 3);
      break;
    case Place::kCut:
      EXPECT_EQ(right, 0);
      EXPECT_LT(ink.box.bottom - above, ink.height / 2);
      break;
  }
  const std::size_t before = TimesOpened(row.opens);
  ClickLink(window.label());
  EXPECT_TRUE(Opened(row.opens, before));
  ExpectLink(window.label(), kPurple);
}

INSTANTIATE_TEST_SUITE_P(Rows, LabelTest, ::testing::ValuesIn(kLabels),
                         [](const ::testing::TestParamInfo<Label>& info) { return std::string(info.param.name); });

TEST(LabelTest, WithoutATargetANewTextShowsAtOnceAndOpens) {
  for (const char* target : {static_cast<const char*>(nullptr), ""}) {
    SCOPED_TRACE(target == nullptr ? "null target" : "empty target");
    LabelWindow window;
    ASSERT_TRUE(window.Attach(SS_LEFT, 240, 16, "http://old.example/", target, kDefaultLinkColour));
    const Ink old = ExpectLink(window.label(), kBlue);
    const std::string renamed = "http://renamed.example/a/longer/one";
    SendMessageA(window.label(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(renamed.c_str()));
    EXPECT_TRUE(WaitUntil([&] { return InkOf(window.label(), kBlue).box.right > old.box.right; }, 5000));
    ExpectLink(window.label(), kBlue);
    const std::size_t before = TimesOpened(renamed);
    ClickLink(window.label());
    EXPECT_TRUE(Opened(renamed, before));
  }
  EXPECT_EQ(TimesOpened("http://old.example/"), 0u);
}

TEST(LabelTest, FailingToAttachLeavesAPlainStatic) {
  LabelWindow window;
  // No such control.
  EXPECT_FALSE(AttachHyperlink(window.window(), LabelWindow::kLabel + 1, "http://a.example/", kDefaultLinkColour));
  // No memory for the record: drawn in black without a line, transparent to
  // the mouse.
  EXPECT_FALSE(window.Attach(SS_LEFT, 240, 16, "no memory", "http://a.example/", kDefaultLinkColour, true));
  EXPECT_GT(g_refused, 0);
  EXPECT_EQ(GetWindowLongA(window.label(), GWL_STYLE) & SS_NOTIFY, 0);
  EXPECT_EQ(HitTest(window.label()), HTTRANSPARENT);
  Ink ink;
  EXPECT_TRUE(WaitUntil([&] { return (ink = InkOf(window.label(), RGB(0, 0, 0))).any; }, 5000));
  EXPECT_TRUE(ink.only_colour);
  EXPECT_FALSE(ink.underlined);
}

// Blocks of the process heap in use that are the size of a label's record.
int RecordsOnHeap() {
  int count = 0;
  const HANDLE heap = GetProcessHeap();
  HeapLock(heap);
  PROCESS_HEAP_ENTRY entry{};
  while (HeapWalk(heap, &entry))
    count += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.cbData == sizeof(HyperlinkData);
  HeapUnlock(heap);
  return count;
}

TEST(LabelTest, RecordsAreFreedWithTheirLabels) {
  constexpr int kLabels = 200;
  LabelWindow window;
  int before = 0, peak = 0, attached = 0;
  for (int round = 0; round < 3; ++round) {  // the first makes the system's own first allocations
    if (round == 1) before = RecordsOnHeap();
    const HWND holder =
        CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, window.window(), nullptr, nullptr, nullptr);
    for (int id = 1; id <= kLabels; ++id) {
      CreateWindowExA(0, "STATIC", "x", WS_CHILD, 0, 0, 10, 10, holder, reinterpret_cast<HMENU>(id), nullptr, nullptr);
      attached += AttachHyperlink(holder, id, "http://a.example/", kDefaultLinkColour);
    }
    peak = std::max(peak, RecordsOnHeap());
    DestroyWindow(holder);
  }
  const int after = RecordsOnHeap();
  EXPECT_EQ(attached, 3 * kLabels);
  EXPECT_EQ(peak - before, kLabels);  // a record per label while it lives...
  EXPECT_EQ(after, before);           // ... and none once it is gone
}

}  // namespace
}  // namespace gui
