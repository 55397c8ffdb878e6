// The real dialog, in-process, laid out at the system DPI of the prefix it
// runs in (run-dpi.sh runs it at 96 and at 144): every control's text fits
// the control, measured in the control's own font, and the dialog fits the
// work area. HD_LAYOUT_RECORD=file writes this run's DPI and dialog size;
// HD_LAYOUT_BASELINE=file compares them with a recorded run's, and
// HD_LAYOUT_DPI=n asks that this run be at n DPI.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "dialog/InstallerDialog.h"
#include "support/DialogHarness.h"
#include "support/FileTree.h"

namespace {

const int kEnded = 7;

// Runs `look` on the live dialog once it has been shown, then ends it.
void OnShownDialog(const std::function<void(HWND dialog)>& look) {
    g_moduleInstance = GetModuleHandleW(nullptr);
    InstallerDialog view;
    const INT_PTR result = RunModalWithTicks([&] { return view.RunModal(nullptr); }, 50, 200, [&](HWND dialog) {
        if (!IsWindowVisible(dialog)) return false;
        look(dialog);
        view.EndWithResult(kEnded);
        return true;
    });
    EXPECT_EQ(kEnded, result);
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The rectangle `text` takes in `control`'s own font, drawn with `format`
// (DT_CALCRECT added) into `width` pixels.
RECT Measure(HWND control, const std::string& text, UINT format, int width) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT rect = {0, 0, width, 0};
    DrawTextW(dc, Wide(text).c_str(), -1, &rect, format | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return rect;
}

TEST(LayoutTest, EveryControlsTextFitsTheControl) {
    if (!Environment("HD_LAYOUT_DPI").empty()) {
        ASSERT_EQ(atoi(Environment("HD_LAYOUT_DPI").c_str()), SystemDpi()) << "the prefix's DPI did not take";
    }
    enum Kind { kLabel, kButton, kField, kLog };
    const struct {
        int id;
        Kind kind;
    } controls[] = {{-1, kLabel}, {1000, kField}, {1001, kButton}, {IDOK, kButton}, {IDCANCEL, kButton}, {1003, kLog}};
    OnShownDialog([&](HWND dialog) {
        for (const auto& c : controls) {
            HWND control = c.id == -1 ? FindWindowExW(dialog, nullptr, L"Static", nullptr) : GetDlgItem(dialog, c.id);
            ASSERT_NE(nullptr, control) << c.id;
            const std::string text = TextOf(control);
            ASSERT_FALSE(text.empty()) << c.id;
            // Where the control draws its text: an edit control's formatting
            // rectangle, a button's client area less its edges, a label's client area.
            RECT room;
            if (c.kind == kField || c.kind == kLog) {
                SendMessageA(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
            } else {
                GetClientRect(control, &room);
                if (c.kind == kButton) InflateRect(&room, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
            }
            const int width = room.right - room.left, height = room.bottom - room.top;
            // A label and the log break lines at words; a button and the field do not.
            const UINT format = c.kind == kLabel ? DT_WORDBREAK
                              : c.kind == kLog   ? DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX
                              : c.kind == kField ? DT_SINGLELINE | DT_NOPREFIX
                                                 : DT_SINGLELINE;
            const RECT extent = Measure(control, text, format, width);
            const int textWidth = extent.right - extent.left, textHeight = extent.bottom - extent.top;
            printf("layout: control %d at %d DPI: text %dx%d in %dx%d\n", c.id, SystemDpi(), textWidth, textHeight,
                   width, height);
            EXPECT_LE(textWidth, width) << "control " << c.id << " cuts \"" << text << "\" across";
            // The log scrolls; one line of it must fit.
            const int lineHeight = c.kind == kLog ? Measure(control, "Ж", DT_SINGLELINE, width).bottom : textHeight;
            EXPECT_LE(lineHeight, height) << "control " << c.id << " cuts \"" << text << "\" vertically";
        }
    });
}

// Width and height of `icon`, in pixels.
SIZE SizeOf(HICON icon) {
    ICONINFO info = {};
    BITMAP bitmap = {};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return {0, 0};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    // A mask without colour holds the AND and the XOR mask one above the other.
    return {bitmap.bmWidth, info.hbmColor != nullptr ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

// Moved to a monitor of another DPI (or the same one, which changes nothing),
// the window takes the rectangle Windows suggests, in proportion to the DPI,
// and icons of the sizes Windows gives at the new DPI.
TEST(LayoutTest, ADpiChangeTakesTheSuggestedRectangleAndIconsOfItsSizes) {
    // Both from after Windows XP, which the product's headers stop at.
    const UINT kDpiChanged = 0x02E0;
    const auto metricForDpi = reinterpret_cast<int(WINAPI*)(int, UINT)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    ASSERT_NE(nullptr, metricForDpi);
    for (int dpi : {96, 144, 192}) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI from " + std::to_string(SystemDpi()));
        RECT window = {}, suggested = {};
        SIZE big = {}, smallOne = {};
        OnShownDialog([&](HWND dialog) {
            GetWindowRect(dialog, &window);
            suggested = {40, 30, 40 + MulDiv(window.right - window.left, dpi, SystemDpi()),
                         30 + MulDiv(window.bottom - window.top, dpi, SystemDpi())};
            SendMessageW(dialog, kDpiChanged, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
            GetWindowRect(dialog, &window);
            big = SizeOf(reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0)));
            smallOne = SizeOf(reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0)));
        });
        EXPECT_TRUE(EqualRect(&suggested, &window)) << "took " << window.left << "," << window.top << " "
                                                    << window.right - window.left << "x"
                                                    << window.bottom - window.top;
        EXPECT_EQ(metricForDpi(SM_CXICON, dpi), big.cx);
        EXPECT_EQ(metricForDpi(SM_CYICON, dpi), big.cy);
        EXPECT_EQ(metricForDpi(SM_CXSMICON, dpi), smallOne.cx);
        EXPECT_EQ(metricForDpi(SM_CYSMICON, dpi), smallOne.cy);
    }
}

TEST(LayoutTest, TheDialogFitsTheWorkAreaAndScalesWithTheSystemDpi) {
    const int dpi = SystemDpi();
    RECT window = {}, client = {}, area = {};
    OnShownDialog([&](HWND dialog) {
        GetWindowRect(dialog, &window);
        GetClientRect(dialog, &client);
    });
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_TRUE(window.left >= area.left && window.top >= area.top && window.right <= area.right &&
                window.bottom <= area.bottom)
        << "dialog " << window.right - window.left << "x" << window.bottom - window.top << " in work area "
        << area.right - area.left << "x" << area.bottom - area.top;
    printf("layout: dialog at %d DPI: client %ldx%ld, window %ldx%ld\n", dpi, client.right, client.bottom,
           window.right - window.left, window.bottom - window.top);

    const std::string record = Environment("HD_LAYOUT_RECORD"), baseline = Environment("HD_LAYOUT_BASELINE");
    if (!record.empty()) {
        FILE* file = fopen(record.c_str(), "w");
        ASSERT_NE(nullptr, file) << record;
        fprintf(file, "%d %ld %ld\n", dpi, client.right, client.bottom);
        fclose(file);
    }
    if (baseline.empty()) return;
    FILE* file = fopen(baseline.c_str(), "r");
    ASSERT_NE(nullptr, file) << baseline;
    int baseDpi = 0;
    long baseWidth = 0, baseHeight = 0;
    ASSERT_EQ(3, fscanf(file, "%d %ld %ld", &baseDpi, &baseWidth, &baseHeight));
    fclose(file);
    ASSERT_NE(baseDpi, dpi) << "the baseline was recorded at this DPI";
    // Dialog units follow the font, whose pixel size follows the DPI; the font
    // comes in whole pixels, hence the tolerance.
    const double expected = static_cast<double>(dpi) / baseDpi;
    const double widthRatio = static_cast<double>(client.right) / baseWidth;
    const double heightRatio = static_cast<double>(client.bottom) / baseHeight;
    printf("layout: %d DPI against %d DPI: width x%.3f, height x%.3f\n", dpi, baseDpi, widthRatio, heightRatio);
    EXPECT_NEAR(expected, widthRatio, 0.1 * expected);
    EXPECT_NEAR(expected, heightRatio, 0.1 * expected);
}

}  // namespace
