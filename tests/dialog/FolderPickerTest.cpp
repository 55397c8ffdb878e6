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
    wchar_t className[32] = L"";
    GetClassNameW(window, className, 32);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && window != search.dialog && lstrcmpW(className, L"#32770") == 0 &&
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
    HWND tree = FindWindowExW(picker, nullptr, L"SysTreeView32", nullptr);
    if (tree == nullptr) return false;
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (item == nullptr) return false;
    wchar_t label[MAX_PATH] = L"";
    TVITEMW query = {};
    query.mask = TVIF_TEXT;
    query.hItem = item;
    query.pszText = label;
    query.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&query));
    std::string expected = path.substr(path.find_last_of('\\') + 1);
    if (expected.empty()) expected = path.substr(0, 2);
    return Narrow(label).find(expected) != std::string::npos;
}

// Presses "&Обзор", selects `pick` in the picker and presses OK; returns the
// destination field once the picker has closed.
std::string Browse(const std::string& pick) {
    int step = 0;
    std::string field;
    InstallerDialog view;
    const INT_PTR result = RunModalWithTicks([&] { return view.RunModal(nullptr); }, 100, 200, [&](HWND dialog) {
        switch (step) {
        case 0:
            PostMessageW(dialog, WM_COMMAND, 1001, 0);
            step = 1;
            return false;
        case 1: {
            HWND picker = Picker(dialog);
            if (picker == nullptr) return false;
            SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(Wide(pick).c_str()));
            if (!PickerShows(picker, pick)) return false;  // not yet: ask again on the next tick
            PostMessageW(picker, WM_COMMAND, IDOK, 0);
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
        g_moduleInstance = GetModuleHandleW(nullptr);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(FolderPickerTest, PutsTheChosenFolderInTheDestinationField) {
    ScratchFolder scratch("picker");
    // Letters of three scripts, which no one code page holds together.
    const std::string folder = scratch / "Программа Jürgen Ελληνικά";
    MakeFolders(folder);
    EXPECT_EQ(folder, Browse(folder));
}

TEST_F(FolderPickerTest, ADriveRootKeepsItsTrailingBackslash) {
    EXPECT_EQ("C:\\", Browse("C:\\"));
}

}  // namespace
