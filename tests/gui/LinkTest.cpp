//===- LinkTest.cpp - The link labels, as a user sees and clicks them ----===//
//
// The website and e-mail labels of the real window, then the labels of the
// link test host (LinkHost.cpp), which runs the same code on statics of
// every alignment and on the cases the main window cannot show.
//
//===----------------------------------------------------------------------===//
#include <windows.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "tests/gui/GuiHarness.h"
#include "tests/gui/GuiTests.h"
#include "tests/gui/LinkHostIds.h"
#include "tests/gui/MainDialogTable.h"
#include "tests/gui/Screen.h"

namespace gui {
namespace {

constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kPurple = RGB(128, 0, 128);
constexpr char kWebsiteTarget[] = "http://www.example.com/";
constexpr char kEmailTarget[] = "mailto:me@example.com";

COLORREF Background() { return GetSysColor(COLOR_BTNFACE); }

// The control's ink, once it is drawn in `colour` and underlined; if that
// never happens, as it was last seen.
Ink LinkInk(HWND control, COLORREF colour) {
  Ink ink;
  WaitUntil(
      [&] {
        ink = InkOf(Capture(control), Background(), colour);
        return ink.only_text_colour && ink.underlined;
      },
      5000);
  return ink;
}

// Checks that a label shows a link in `colour`: text smoothed in that
// colour on the button face, underlined.
void CheckLink(HWND control, COLORREF colour, const std::string& which) {
  const Ink ink = LinkInk(control, colour);
  if (!CHECK(!Empty(ink))) std::printf("      %s shows nothing\n", which.c_str());
  if (!CHECK(ink.only_text_colour)) std::printf("      %s has pixels of another colour\n", which.c_str());
  if (!CHECK(ink.underlined)) std::printf("      %s is not underlined\n", which.c_str());
}

// A click as the mouse makes it: press and release over the label.
void ClickLink(HWND link) {
  PostMessageA(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageA(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// How often `what` occurs in `text`.
std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// Waits until the shell recorder has been asked to open `target` more than
// `before` times.
bool Opened(const std::string& target, std::size_t before) {
  const std::string quoted = "\"" + target + "\"";
  return WaitUntil([&] { return Count(ShellLog(), quoted) > before; });
}

std::size_t TimesOpened(const std::string& target) { return Count(ShellLog(), "\"" + target + "\""); }

LRESULT HitTest(HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  DWORD_PTR hit = 0;
  SendMessageTimeoutA(control, WM_NCHITTEST, 0, MAKELPARAM(rect.left + 1, rect.top + 1), SMTO_ABORTIFHUNG, 5000, &hit);
  return static_cast<LRESULT>(hit);
}

// The hand, as drawn for the cursor: '.' shows the screen, '#' is black,
// 'o' white; rows not shown are wholly transparent.
const char* const kHand[] = {
    "................................",  //
    ".....##.........................",  //
    "....#oo#........................",  //
    "....#oo#........................",  //
    "....#oo#........................",  //
    "....#oo#........................",  //
    "....#oo###.##.##................",  //
    "....#oo#oo#oo#oo#...............",  //
    "..###oo#oo#oo#oo#...............",  //
    ".#oo#oo#oo#oo#oo#...............",  //
    ".#oo#oo#oo#oo#oo#...............",  //
    ".#oo#ooooooooooo#...............",  //
    ".#oooooooooooooo#...............",  //
    ".#oooooooooooooo#...............",  //
    "..#ooooooooooooo#...............",  //
    "...#oooooooooooo#...............",  //
    "....#oooooooooo#................",  //
    "....############................",  //
    "....############................",  //
};

// The picture a cursor's two planes make, in the characters of kHand.
std::vector<std::string> Picture(const std::string& and_plane, const std::string& xor_plane) {
  std::vector<std::string> rows;
  if (and_plane.size() != 128 || xor_plane.size() != 128) return rows;
  for (int y = 0; y < 32; ++y) {
    std::string row;
    for (int x = 0; x < 32; ++x) {
      const int byte = y * 4 + x / 8, bit = 7 - x % 8;
      const bool a = (static_cast<unsigned char>(and_plane[byte]) >> bit) & 1;
      const bool o = (static_cast<unsigned char>(xor_plane[byte]) >> bit) & 1;
      row += a ? (o ? '~' : '.') : (o ? 'o' : '#');  // '~' would invert the screen
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> ExpectedHand() {
  std::vector<std::string> rows(std::begin(kHand), std::end(kHand));
  rows.resize(32, std::string(32, '.'));
  return rows;
}

// --- The main window's labels --------------------------------------------

void MainLinksLook() {
  App app;
  if (!CHECK(app.Start())) return;
  for (int id : {kWebsiteLink, kEmailLink}) {
    const HWND link = app.Item(id);
    CheckLink(link, kBlue, "label " + std::to_string(id));
    // Left aligned as its static: the text starts at the left edge.
    CHECK(LinkInk(link, kBlue).box.left <= 1);
    // The label takes the mouse, unlike a plain static.
    CHECK_EQ(HitTest(link), static_cast<LRESULT>(HTCLIENT));
  }
  CHECK_EQ(HitTest(GetDlgItem(app.dialog(), -1)), static_cast<LRESULT>(HTTRANSPARENT));
}

void MainLinksCursor() {
  App app;
  if (!CHECK(app.Start())) return;
  const ProbeReport report = app.Probe();
  if (!CHECK_EQ(report.cursors.size(), std::size_t{3})) return;
  const ProbeReport::Cursor& website = report.cursors[0];
  const ProbeReport::Cursor& email = report.cursors[1];
  const ProbeReport::Cursor& plain = report.cursors[2];
  CHECK_EQ(website.id, kWebsiteLink);
  CHECK_EQ(email.id, kEmailLink);
  // One cursor for every label, made once.
  CHECK(website.handle != 0);
  CHECK_EQ(email.handle, website.handle);
  CHECK(plain.handle != website.handle);
  // A monochrome cursor, its hot spot at the fingertip, the hand drawn.
  CHECK(!website.icon);
  CHECK(!website.colour);
  CHECK_EQ(website.hot_x, 5);
  CHECK_EQ(website.hot_y, 2);
  CHECK_EQ(Picture(website.and_plane, website.xor_plane), ExpectedHand());
}

void MainLinksClick() {
  App app;
  if (!CHECK(app.Start())) return;
  const HWND website = app.Item(kWebsiteLink);
  const HWND email = app.Item(kEmailLink);

  const std::size_t before = TimesOpened(kWebsiteTarget);
  ClickLink(website);
  CHECK(Opened(kWebsiteTarget, before));
  CheckLink(website, kPurple, "the clicked website label");
  CheckLink(email, kBlue, "the e-mail label");

  // Minimised and restored, the window is drawn afresh: still visited.
  ShowWindow(app.dialog(), SW_MINIMIZE);
  CHECK(WaitUntil([&] { return IsIconic(app.dialog()) != 0; }));
  ShowWindow(app.dialog(), SW_RESTORE);
  CHECK(WaitUntil([&] { return !IsIconic(app.dialog()); }));
  CheckLink(website, kPurple, "the website label drawn again");
  CheckLink(email, kBlue, "the e-mail label drawn again");

  // A second click opens the target again and changes nothing else.
  ClickLink(website);
  CHECK(Opened(kWebsiteTarget, before + 1));
  CheckLink(website, kPurple, "the website label clicked twice");

  const std::size_t mails = TimesOpened(kEmailTarget);
  ClickLink(email);
  CHECK(Opened(kEmailTarget, mails));
  CheckLink(email, kPurple, "the clicked e-mail label");
  // Neither click reached anything but the shell.
  CHECK(app.Owned() == nullptr);
  CHECK(app.Running());
}

void MainLinksPressAndRelease() {
  App app;
  if (!CHECK(app.Start())) return;
  const HWND website = app.Item(kWebsiteLink);
  const HWND email = app.Item(kEmailLink);

  // A release with no press before it is no click; the press and release
  // that follow, on different labels, open the second label's target.
  const std::size_t mails = TimesOpened(kEmailTarget);
  const std::size_t sites = TimesOpened(kWebsiteTarget);
  PostMessageA(website, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  PostMessageA(website, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageA(email, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  CHECK(Opened(kEmailTarget, mails));
  CheckLink(email, kPurple, "the e-mail label, released on");
  CheckLink(website, kBlue, "the website label, pressed on");
  // The press was used up by that click.
  PostMessageA(email, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  ClickLink(website);
  CHECK(Opened(kWebsiteTarget, sites));
  CHECK_EQ(TimesOpened(kEmailTarget), mails + 1);
}

// --- The test host's labels ----------------------------------------------

// The link host, started with its report read.
struct Host {
  App app;
  std::string report;

  bool Start() {
    const std::string path = g_paths.work + "\\link-host.txt";
    CreateDirectoryA(g_paths.work.c_str(), nullptr);
    Remove(path);
    if (!app.Start(g_paths.link_host, "\"" + path + "\"", linkhost::kLeft)) return false;
    report = ReadAll(path);
    return true;
  }
  HWND Item(int id) const { return app.Item(id); }
  // What AttachHyperlink returned for control `id`.
  std::string Attached(int id) const {
    const std::string key = "attach id=" + std::to_string(id) + " result=";
    const std::size_t at = report.find(key);
    return at == std::string::npos ? "none" : report.substr(at + key.size(), 1);
  }
};

void HostAlignment() {
  Host host;
  if (!CHECK(host.Start())) return;
  for (int id : {linkhost::kLeft, linkhost::kCentred, linkhost::kRight, linkhost::kMiddle, linkhost::kTop}) {
    CHECK_EQ(host.Attached(id), "1");
    CheckLink(host.Item(id), kBlue, "label " + std::to_string(id));
  }
  const Ink left = LinkInk(host.Item(linkhost::kLeft), kBlue);
  const Ink centred = LinkInk(host.Item(linkhost::kCentred), kBlue);
  const Ink right = LinkInk(host.Item(linkhost::kRight), kBlue);
  const Pixels box = Capture(host.Item(linkhost::kLeft));
  CHECK(left.box.left <= 1);
  CHECK(box.width - left.box.right > box.width / 3);
  CHECK(right.box.left > box.width / 3);
  CHECK(box.width - right.box.right <= 1);
  const long margin_left = centred.box.left;
  const long margin_right = box.width - centred.box.right;
  CHECK(margin_left > box.width / 4);
  CHECK(margin_right - margin_left <= 2 && margin_left - margin_right <= 2);

  // SS_CENTERIMAGE centres the line vertically; without it the line is at
  // the top.
  const Pixels tall = Capture(host.Item(linkhost::kMiddle));
  const Ink middle = LinkInk(host.Item(linkhost::kMiddle), kBlue);
  const Ink top = LinkInk(host.Item(linkhost::kTop), kBlue);
  const long above = middle.box.top;
  const long below = tall.height - middle.box.bottom;
  CHECK(above > 3);
  CHECK(above - below <= 3 && below - above <= 3);
  CHECK(top.box.top <= 3);
}

void HostLongText() {
  Host host;
  if (!CHECK(host.Start())) return;
  const HWND narrow = host.Item(linkhost::kLong);
  CheckLink(narrow, kBlue, "the narrow label");
  const Pixels pixels = Capture(narrow);
  const Ink cut = LinkInk(narrow, kBlue);
  const Ink line = LinkInk(host.Item(linkhost::kLeft), kBlue);
  // The text runs to the right edge and is cut there, on a single line,
  // though the label has room for three.
  CHECK_EQ(cut.box.right, static_cast<LONG>(pixels.width));
  CHECK(cut.box.bottom - cut.box.top <= line.box.bottom - line.box.top + 1);
  CHECK(pixels.height >= 3 * (line.box.bottom - line.box.top));
}

void HostOwnText() {
  Host host;
  if (!CHECK(host.Start())) return;
  CHECK_EQ(host.Attached(linkhost::kOwnText), "1");
  CHECK_EQ(host.Attached(linkhost::kEmpty), "1");

  // A label with no target opens its own text.
  const HWND own = host.Item(linkhost::kOwnText);
  const std::size_t before = TimesOpened("http://own-text.example/");
  ClickLink(own);
  CHECK(Opened("http://own-text.example/", before));
  const Ink first = LinkInk(own, kPurple);
  CheckLink(own, kPurple, "the clicked label");

  // A new text shows at once in the link's style, and a click opens it.
  host.app.Type(linkhost::kOwnText, "http://own-text.example/a/longer/one/");
  CHECK(WaitUntil([&] { return LinkInk(own, kPurple).box.right > first.box.right; }, 5000));
  CheckLink(own, kPurple, "the renamed label");
  ClickLink(own);
  CHECK(Opened("http://own-text.example/a/longer/one/", 0));

  // So does a label whose target is empty, renamed before its first click.
  const HWND empty = host.Item(linkhost::kEmpty);
  host.app.Type(linkhost::kEmpty, "http://renamed.example/");
  CHECK(WaitUntil([&] { return host.app.Text(linkhost::kEmpty) == "http://renamed.example/"; }));
  CheckLink(empty, kBlue, "the renamed label with an empty target");
  ClickLink(empty);
  CHECK(Opened("http://renamed.example/", 0));
  CHECK_EQ(TimesOpened("http://empty-target.example/"), std::size_t{0});
  CheckLink(empty, kPurple, "the clicked label with an empty target");
}

void HostLongTarget() {
  Host host;
  if (!CHECK(host.Start())) return;
  CHECK_EQ(host.Attached(linkhost::kLongTarget), "1");
  std::string target = "http://long-target.example/";
  target.resize(linkhost::kLongTargetSize, 'x');
  // Cut to what the record holds, 259 bytes and the terminator.
  const std::string kept = target.substr(0, 259);
  ClickLink(host.Item(linkhost::kLongTarget));
  CHECK(Opened(kept, 0));
  CHECK(ShellLog().find(kept + "x") == std::string::npos);
  CheckLink(host.Item(linkhost::kLongTarget), kPurple, "the label with a long target");
}

void HostColourAndFailures() {
  Host host;
  if (!CHECK(host.Start())) return;
  CheckLink(host.Item(linkhost::kGreen), RGB(0, 128, 0), "the green label");
  ClickLink(host.Item(linkhost::kGreen));
  CHECK(Opened("http://green.example/", 0));
  CheckLink(host.Item(linkhost::kGreen), kPurple, "the clicked green label");

  // No control: nothing to attach.
  CHECK_EQ(host.Attached(linkhost::kMissing), "0");
  // No memory for the record: the label stays a plain static, drawn in
  // black without an underline, transparent to the mouse.
  CHECK(host.report.find("refused=0") == std::string::npos);
  CHECK_EQ(host.Attached(linkhost::kNoMemory), "0");
  const HWND plain = host.Item(linkhost::kNoMemory);
  CHECK_EQ(static_cast<unsigned long>(GetWindowLongA(plain, GWL_STYLE) & SS_NOTIFY), 0ul);
  CHECK_EQ(HitTest(plain), static_cast<LRESULT>(HTTRANSPARENT));
  Ink ink;
  CHECK(WaitUntil(
      [&] {
        ink = InkOf(Capture(plain), Background(), RGB(0, 0, 0));
        return !Empty(ink);
      },
      5000));
  CHECK(ink.only_text_colour);
  CHECK(!ink.underlined);
}

void HostLifetime() {
  const std::string path = g_paths.work + "\\link-lifetime.txt";
  CreateDirectoryA(g_paths.work.c_str(), nullptr);
  Remove(path);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string command = "\"" + g_paths.link_host + "\" \"" + path + "\" lifetime";
  if (!CHECK(CreateProcessA(g_paths.link_host.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process))) {
    return;
  }
  CHECK_EQ(WaitForSingleObject(process.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);

  int attached = -1, before = -1, peak = -1, after = -1;
  const std::string report = ReadAll(path);
  CHECK(std::sscanf(report.c_str(), "lifetime attached=%d before=%d peak=%d after=%d", &attached, &before, &peak,
                    &after) == 4);
  const int labels = linkhost::kGreen - linkhost::kLeft + 1;
  CHECK_EQ(attached, linkhost::kChurnRounds * linkhost::kChurnDialogs * labels);
  // A record per open label while the dialogs are open...
  CHECK_EQ(peak - before, linkhost::kChurnDialogs * labels);
  // ... and none once they are closed.
  CHECK_EQ(after, before);
}

}  // namespace

std::vector<TestGroup> LinkGroups() {
  return {
      {"links: drawn blue and underlined", &MainLinksLook},
      {"links: hand cursor", &MainLinksCursor},
      {"links: click opens target, turns purple", &MainLinksClick},
      {"links: press on one, release on other", &MainLinksPressAndRelease},
      {"link labels: alignment", &HostAlignment},
      {"link labels: long text on one line", &HostLongText},
      {"link labels: own text as target", &HostOwnText},
      {"link labels: long target cut", &HostLongTarget},
      {"link labels: colour, failed attach", &HostColourAndFailures},
      {"link labels: records freed", &HostLifetime},
  };
}

}  // namespace gui
