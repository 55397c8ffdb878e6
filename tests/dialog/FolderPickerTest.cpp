// Drives "&Обзор" for real, in-process: the installer dialog runs modally from
// its own resources, and a thread timer (which both the dialog's and the
// picker's modal loops dispatch) presses the buttons and picks in the picker.
#include <windows.h>
#include <shlobj.h>
#include <commctrl.h>

#include <string>

#include <gtest/gtest.h>

#include "dialog/InstallerDialog.h"
#include "support/DialogHarness.h"
#include "support/FileTree.h"

namespace {

struct PickerSearch {
    HWND dialog;
    HWND found;
};

// The picker: any visible dialog of this process other than the installer's.
BOOL CALLBACK FindPicker(HWND window, LPARAM context) {
    PickerSearch& search = *reinterpret_cast<PickerSearch*>(context);
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && window != search.dialog && lstrcmpA(className, "#32770") == 0 &&
        IsWindowVisible(window)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND Picker(HWND dialog) {
    PickerSearch search = {dialog, nullptr};
    EnumWindows(FindPicker, reinterpret_cast<LPARAM>(&search));
    return search.found;
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

// Presses "&Обзор", selects `pick` in the picker and presses OK; returns the
// destination field once the picker has closed.
std::string Browse(const char* pick) {
    int step = 0;
    std::string field;
    InstallerDialog view;
    const INT_PTR result = RunModalWithTicks([&] { return view.RunModal(nullptr); }, 100, 200, [&](HWND dialog) {
        switch (step) {
        case 0:
            PostMessageA(dialog, WM_COMMAND, 1001, 0);
            step = 1;
            return false;
        case 1: {
            HWND picker = Picker(dialog);
            if (picker == nullptr) return false;
            SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(pick));
            if (!PickerShows(picker, pick)) return false;  // not yet: ask again on the next tick
            PostMessageA(picker, WM_COMMAND, IDOK, 0);
            step = 2;
            return false;
        }
        default:
            if (Picker(dialog) != nullptr) return false;  // still closing
            field = TextOf(GetDlgItem(dialog, 1000));
            EndDialog(dialog, 2);
            return true;
        }
    });
    EXPECT_EQ(2, result);
    return field;
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

}  // namespace
