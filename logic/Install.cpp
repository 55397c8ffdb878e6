#include "logic/Install.h"

#include <windows.h>

#include "desktop/Shortcut.h"
#include "logic/CopyTree.h"
#include "logic/InstallerView.h"
#include "logic/PathHelpers.h"

const char kMainProgramFile[] = "zel_or.exe";
const char kDefaultDestination[] = "C:\\ZelOr";
const char kShortcutName[] = "Орвента";
const char kCompletionMessage[] =
    "Установка программы Зеларит:Орвента завершена\r\n\r\n"
    "Для запуска используйте ярлык на рабочем столе или файл %s, находящийся в папке назначения.";
const char kCompletionCaption[] = "Работа завершена";
const char kEmptyDestinationMessage[] = "Укажите папку назначения.";
const char kInstallerCaption[] = INSTALLER_CAPTION;

namespace {

// The all-users desktop folder, later the shortcut path built from it.
using DesktopPath = PathText<kDesktopPathCapacity>;

// The folder the running installer was started from: the medium. False when
// the program's own path is longer than the 258 characters read, because a
// path cut short would name some other folder.
bool FindSourceFolder(ShortPath& folder) {
    const DWORD size = ShortPath::capacity - 1;
    const DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), folder.text, size);
    if (length == 0 || length >= size) return false;
    char* lastSeparator = FindLastChar(folder.text, '\\');
    if (lastSeparator != nullptr) *lastSeparator = '\0';
    return true;
}

// Extends the desktop folder in `path` to "<folder>\Орвента.lnk"; false when
// that does not fit.
bool AppendShortcutName(DesktopPath& path) {
    const char extension[] = ".lnk";
    const int length = lstrlenA(path.text) + 1 + lstrlenA(kShortcutName) + lstrlenA(extension);
    if (length >= DesktopPath::capacity) return false;
    lstrcatA(path.text, "\\");
    lstrcatA(path.text, kShortcutName);
    lstrcatA(path.text, extension);
    return true;
}

void StartProgram(const char* path) {
    // Quoted, so that a destination such as C:\Program Files\ZelOr cannot make
    // WinExec try C:\Program.exe first.
    char command[ShortPath::capacity + 2];
    wsprintfA(command, "\"%s\"", path);
    // result ignored: a program that does not start is not reported.
    WinExec(command, SW_SHOWNORMAL);
}

}  // namespace

void RunInstall(InstallerView& view) {
    ShortPath typed;
    view.ReadDestination(typed);
    char* const destination = TrimSpaces(typed.text);
    if (*destination == '\0') {
        // An empty destination would name the root of the current drive.
        view.ShowMessage(kEmptyDestinationMessage, kInstallerCaption);
        return;
    }

    // From here on nothing in the dialog may start a second run or end it.
    view.SetDestinationReadOnly();
    view.DisableButton(IDOK);
    view.DisableButton(IDCANCEL);
    view.DisableButton(IDC_BROWSE);
    view.ClearLog();
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));

    // Holds the source folder, later the main program path.
    ShortPath program;
    const bool copied = FindSourceFolder(program) && CopyTree(view, program.text, destination);

    // Holds the completion message, later the desktop folder and the shortcut path.
    DesktopPath text;
    if (copied) {
        wsprintfA(text.text, kCompletionMessage, kMainProgramFile);
        view.ShowMessage(text.text, kCompletionCaption);
    }

    const bool programFits = JoinPath(program, destination, kMainProgramFile);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    view.EndWithResult(IDOK);

    if (!programFits || !FileExists(program.text)) return;
    if (FindCommonDesktop(text.text) && AppendShortcutName(text)) {
        // result ignored: a missing shortcut is not reported; the program still starts.
        CreateShellLink(program.text, text.text, kShortcutName);
    }
    StartProgram(program.text);
}
