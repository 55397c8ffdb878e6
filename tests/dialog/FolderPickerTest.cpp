// Drives "&Обзор" for real, in-process: the installer dialog runs modally from
// its own resources, and a thread timer (which both the dialog's and the
// picker's modal loops dispatch) presses the buttons and picks in the picker.
#include <windows.h>
#include <shlobj.h>
#include <commctrl.h>

#include <string>

#include <gtest/gtest.h>

#include "dialog/InstallerDialog.h"
#include "support/FileTree.h"

namespace {

struct Script {
    const char* pick = nullptr;  // folder to select in the picker; nullptr cancels it
    std::string typed;           // put in the field before browsing, when not empty
    int step = 0;
    int ticks = 0;
    HWND dialog = nullptr;
    std::string field;  // the destination field after the picker closed
};
Script g_script;

const char kCaption[] = "Установка программы Зеларит:Орвента";

BOOL CALLBACK FindPicker(HWND window, LPARAM result) {
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && window != g_script.dialog && lstrcmpA(className, "#32770") == 0 &&
        IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
    }
    return TRUE;
}

// Whether the picker's tree shows `path` selected: the selected item's label
// holds the path's last folder name, or the drive ("C:") for a drive root.
// The picker fills its tree after it appears and ignores a selection asked
// for before that, so the script asks again until this holds.
bool PickerShows(HWND picker, const std::string& path) {
    HWND tree = FindWindowExA(picker, nullptr, "SysTreeView32", nullptr);
    if (tree == nullptr) return false;
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (item == nullptr) return false;
    char label[MAX_PATH] = "";
    TVITEMA query = {};
    query.mask = TVIF_TEXT;
    query.hItem = item;
    query.pszText = label;
    query.cchTextMax = MAX_PATH;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query));
    std::string expected = path.substr(path.find_last_of('\\') + 1);
    if (expected.empty()) expected = path.substr(0, 2);
    return std::string(label).find(expected) != std::string::npos;
}

void CALLBACK Step(HWND, UINT, UINT_PTR timer, DWORD) {
    Script& s = g_script;
    if (++s.ticks > 200) {  // 20 s: give up, end whatever is open
        KillTimer(nullptr, timer);
        if (s.dialog != nullptr) EndDialog(s.dialog, 99);
        return;
    }
    switch (s.step) {
    case 0:
        s.dialog = FindWindowA(nullptr, kCaption);
        if (s.dialog == nullptr) return;
        if (!s.typed.empty()) SetDlgItemTextA(s.dialog, 1000, s.typed.c_str());
        PostMessageA(s.dialog, WM_COMMAND, 1001, 0);
        s.step = 1;
        return;
    case 1: {
        HWND picker = nullptr;
        EnumWindows(FindPicker, reinterpret_cast<LPARAM>(&picker));
        if (picker == nullptr) return;
        if (s.pick != nullptr) {
            SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(s.pick));
            if (!PickerShows(picker, s.pick)) return;  // not yet: ask again on the next tick
            PostMessageA(picker, WM_COMMAND, IDOK, 0);
        } else {
            PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
        }
        s.step = 2;
        return;
    }
    case 2: {
        HWND picker = nullptr;
        EnumWindows(FindPicker, reinterpret_cast<LPARAM>(&picker));
        if (picker != nullptr) return;  // still closing
        char text[MAX_PATH] = "";
        GetDlgItemTextA(s.dialog, 1000, text, MAX_PATH);
        s.field = text;
        KillTimer(nullptr, timer);
        EndDialog(s.dialog, 2);
        return;
    }
    }
}

std::string Browse(const char* pick, const std::string& typed = "") {
    g_script = Script();
    g_script.pick = pick;
    g_script.typed = typed;
    SetTimer(nullptr, 0, 100, Step);
    InstallerDialog dialog;
    EXPECT_EQ(2, dialog.RunModal(nullptr));
    return g_script.field;
}

class FolderPickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_moduleInstance = GetModuleHandleA(nullptr);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(FolderPickerTest, PutsTheChosenFolderInTheDestinationField) {
    ScratchFolder scratch("picker");
    const std::string folder = scratch / "Программа";
    MakeFolders(folder);
    EXPECT_EQ(folder, Browse(folder.c_str()));
}

TEST_F(FolderPickerTest, ADriveRootKeepsItsTrailingBackslash) {
    EXPECT_EQ("C:\\", Browse("C:\\"));
}

TEST_F(FolderPickerTest, CancellingLeavesTheFieldUntouched) {
    EXPECT_EQ("C:\\ZelOr", Browse(nullptr));
    EXPECT_EQ("D:\\Свое место", Browse(nullptr, "D:\\Свое место"));
}

}  // namespace
