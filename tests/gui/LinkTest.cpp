//===- LinkTest.cpp - The link labels, as a user sees and clicks them ----===//
#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "tests/gui/GuiTest.h"

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
  int underline_row = -1;
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
  if (!ink.any) return Ink{w, h, {0, 0, 0, 0}, false, false, false, -1};
  // A glyph such as '/' may reach a pixel or two past the line.
  for (int y = ink.box.top; y < ink.box.bottom && !ink.underlined; ++y) {
    int run = 0;
    for (int x = ink.box.left; x < ink.box.right && !ink.underlined; ++x) {
      run = pixels[static_cast<std::size_t>(y) * w + x] == colour ? run + 1 : 0;
      ink.underlined = run * 10 >= (ink.box.right - ink.box.left) * 9;
    }
    if (ink.underlined) ink.underline_row = y;
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

// The main window's link labels.
struct Link {
  const char* name;
  int id;
  const char* target;
};

const Link kLinks[] = {
    {"Website", IDC_WEBSITE_LINK, "http://www.example.com/"},
    {"Email", IDC_EMAIL_LINK, "mailto:me@example.com"},
};

class LinkTest : public ::testing::TestWithParam<Link> {};

TEST_P(LinkTest, LooksAndWorksAsALink) {
  const Link& link = GetParam();
  App app;
  ASSERT_TRUE(app.Start());
  const HWND label = app.Item(link.id);
  // Left aligned, as its static is; it takes the mouse.
  EXPECT_LE(ExpectLink(label, kBlue).box.left, 1);
  EXPECT_EQ(HitTest(label), HTCLIENT);
  // A click hands its target to the shell and turns it purple, the other
  // label staying blue, also when the window is drawn afresh.
  const std::size_t before = TimesOpened(link.target);
  ClickLink(label);
  EXPECT_TRUE(Opened(link.target, before));
  ShowWindow(app.dialog(), SW_MINIMIZE);
  EXPECT_TRUE(WaitUntil([&] { return IsIconic(app.dialog()) != 0; }));
  ShowWindow(app.dialog(), SW_RESTORE);
  EXPECT_TRUE(WaitUntil([&] { return !IsIconic(app.dialog()); }));
  ExpectLink(label, kPurple);
  for (const Link& other : kLinks) {
    if (other.id != link.id) ExpectLink(app.Item(other.id), kBlue);
  }
  // Another click opens it again, and nothing else happens.
  ClickLink(label);
  EXPECT_TRUE(Opened(link.target, before + 1));
  EXPECT_EQ(OwnedDialog(app.dialog()), nullptr);
  EXPECT_TRUE(app.Running());
}

INSTANTIATE_TEST_SUITE_P(MainWindow, LinkTest, ::testing::ValuesIn(kLinks),
                         [](const ::testing::TestParamInfo<Link>& info) { return std::string(info.param.name); });

TEST(LinkTest, TheHandShowsOverTheLinksOnly) {
  App app;
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(HitTest(GetDlgItem(app.dialog(), IDC_STATIC)), HTTRANSPARENT);
  // One cursor, made once for both links: monochrome, a black outline round
  // a white hand, its hot spot in the tip of the finger.
  auto probe = app.Probe();
  const std::string website = probe["cursor-website"];
  EXPECT_EQ(website.substr(website.find(' ') + 1), "5,2 mono black=79 white=122 inverting=0 tip=white");
  EXPECT_EQ(probe["cursor-email"], website);
  EXPECT_NE(probe["cursor-plain"], website);
}

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
  std::vector<Ink> inks;
  for (int id : {IDC_WEBSITE_LINK, IDC_EMAIL_LINK}) {
    SCOPED_TRACE(id);
    inks.push_back(ExpectLink(app.Item(id), kBlue));
    // The underline runs under the whole text, so it reaches the right edge
    // only where the text is cut there.
    EXPECT_LE(inks.back().box.left, 1);
    EXPECT_LT(inks.back().box.right, inks.back().width);
  }
  // One font for both: both texts reach from the top of an 'l' to the
  // bottom of a 'p', and are underlined at the same depth.
  EXPECT_EQ(inks[0].box.top, inks[1].box.top);
  EXPECT_EQ(inks[0].box.bottom, inks[1].box.bottom);
  EXPECT_EQ(inks[0].underline_row, inks[1].underline_row);
  PostMessageA(app.dialog(), WM_SYSCOMMAND, IDM_ABOUT, 0);
  ASSERT_NE(app.WaitForOwned(), nullptr);
  EXPECT_EQ(app.Probe()["box-cut"], "");
}

INSTANTIATE_TEST_SUITE_P(Rows, ScalingTest, ::testing::ValuesIn(kScales),
                         [](const ::testing::TestParamInfo<Scale>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace gui
