#include "logic/install/Install.h"

#include <windows.h>

#include "desktop/ShellStart.h"
#include "desktop/Shortcut.h"
#include "logic/plan/CopyPlan.h"
#include "logic/copy/CopyTree.h"
#include "logic/copy/EndedInstall.h"
#include "logic/view/Caption.h"
#include "logic/view/InstallerView.h"
#include "logic/shared/PathText.h"
#include "logic/shared/FileSystem.h"
#include "logic/shared/FolderIdentity.h"
#include "logic/shared/FormatText.h"
#include "logic/destination/FullPath.h"
#include "resources/ResourceIds.h"
#include "logic/plan/PlanLimits.h"
#include "logic/view/ProgressMeter.h"
#include "logic/plan/Room.h"

const wchar_t kMainProgramFile[] = L"zel_or.exe";
const wchar_t kDefaultDestination[] = L"C:\\ZelOr";
const wchar_t kShortcutName[] = L"Орвента";
const wchar_t kCompletionMessage[] =
    L"Установка программы Зеларит:Орвента завершена\r\n\r\n"
    L"Для запуска используйте ярлык на рабочем столе или файл %s, находящийся в папке назначения.";
const wchar_t kCompletionCaption[] = L"Работа завершена";
const wchar_t kEmptyDestinationMessage[] = L"Укажите папку назначения.";
const wchar_t kTooLongMessage[] = L"Путь к папке назначения слишком длинный.";
const wchar_t kNotFullMessage[] = L"Укажите полный путь к папке назначения, например C:\\ZelOr.";
const wchar_t kFileInTheWayMessage[] = L"На месте папки назначения находится файл.";
const wchar_t kSameFolderMessage[] = L"Папка назначения совпадает с папкой, из которой запущена установка.";
const wchar_t kReservedNameMessage[] = L"Имя «%s» зарезервировано Windows и не может быть именем папки.";
const wchar_t kForbiddenCharacterMessage[] = L"Знак «%s» не может входить в имя папки.";
const wchar_t kControlCharacterMessage[] =
    L"Путь к папке назначения содержит управляющий знак с кодом %s: он не может входить в имя папки.";
const wchar_t kDriveUnavailableMessage[] =
    L"Диск %s недоступен. Если это сетевой диск, выберите папку на локальном диске.";
const wchar_t kAlreadyRunningMessage[] = L"Установка уже выполняется.";

namespace {

// The all-users desktop folder, later the shortcut path built from it.
using DesktopPath = PathText<kDesktopPathCapacity>;

// The folder the running installer was started from: the medium. A drive
// root keeps its separator: "M:" alone names the current folder of drive M:,
// which may be any folder there. False when the program's own path is longer
// than the 258 characters read, because a path cut short would name some
// other folder.
bool FindSourceFolder(ShortPath& folder) {
    const DWORD size = ShortPath::capacity - 1;
    const DWORD length = GetModuleFileNameW(GetModuleHandleW(nullptr), folder.text, size);
    if (length == 0 || length >= size) return false;
    wchar_t* lastSeparator = FindLastChar(folder.text, L'\\');
    if (lastSeparator == folder.text + 2 && folder.text[1] == L':') ++lastSeparator;
    if (lastSeparator != nullptr) *lastSeparator = L'\0';
    return true;
}

// Extends the desktop folder in `path` to "<folder>\Орвента.lnk"; false when
// that does not fit.
bool AppendShortcutName(DesktopPath& path) {
    const wchar_t extension[] = L".lnk";
    const int length = lstrlenW(path.text) + 1 + lstrlenW(kShortcutName) + lstrlenW(extension);
    if (length >= DesktopPath::capacity) return false;
    lstrcatW(path.text, L"\\");
    lstrcatW(path.text, kShortcutName);
    lstrcatW(path.text, extension);
    return true;
}

// Makes the shortcut to `program` on the all-users desktop, or where that
// cannot be (a standard user may not write there, or it cannot be found), on
// the user's own: the completion box has told the user to look there.
// `path` is the room to build the shortcut's path in.
void PlaceShortcut(const wchar_t* program, DesktopPath& path) {
    if (FindCommonDesktop(path.text) && AppendShortcutName(path) &&
        SUCCEEDED(CreateShellLink(program, path.text, kShortcutName))) {
        return;
    }
    // result ignored: a missing shortcut is not reported; the program still starts.
    if (FindUserDesktop(path.text) && AppendShortcutName(path)) CreateShellLink(program, path.text, kShortcutName);
}

// Starts the installed program as WinExec did, which has no wide form: by its
// quoted path (a destination such as C:\Program Files\ZelOr must not make
// Windows try C:\Program.exe), shown normally, in the installer's current
// folder. Like WinExec, it returns once the program waits for input, or after
// 30 s, so that the start looks to the user as it always has. The program gets
// the installer's own token.
void StartDirectly(const wchar_t* path) {
    wchar_t command[ShortPath::capacity + 2];
    wsprintfW(command, L"\"%s\"", path);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started;
    // result ignored: a program that does not start is not reported.
    if (!CreateProcessW(path, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) return;
    WaitForInputIdle(started.hProcess, 30000);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
}

// Whether the installer runs with an elevated token: an administrator's on
// Windows Vista and later, after the elevation prompt. Windows XP has no such
// token class and fails the query, as a token that cannot be opened does:
// neither counts as elevated.
bool RunsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const BOOL answered = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return answered && elevation.TokenIsElevated != 0;
}

// How long the desktop shell may take to start the program before the
// installer gives up and ends.
constexpr DWORD kShellStartTimeoutMs = 15000;

// Starts the installed program with the user's own rights. Every process an
// elevated installer starts itself inherits its full token, so an elevated
// installer asks the desktop shell, which runs with the token the user logged
// on with, and gives it the folder the direct start would pass on. Whatever
// the shell cannot do (no shell running, another shell, a program it could not
// start) ends in the direct start: the program is never left unstarted. A
// shell that does not answer in time may still start it later, so then
// nothing else does: two copies of the program must never run. An installer
// that is not elevated (a standard user, Windows XP) has the user's own
// rights already and starts it directly.
void StartProgram(const wchar_t* path) {
    if (RunsElevated()) {
        ShortPath folder;
        const DWORD length = GetCurrentDirectoryW(ShortPath::capacity, folder.text);
        if (length != 0 && length < ShortPath::capacity) {
            const HRESULT result = StartThroughShellWithin(path, folder.text, kShellStartTimeoutMs);
            if (result == S_OK || result == kShellDidNotAnswer) return;
        }
    }
    StartDirectly(path);
}

// Room for a refusal's text: the longest folder name, or a path on the disc
// (1023 units), and the words around it.
constexpr int kRefusalCapacity = 1536;
using RefusalText = wchar_t[kRefusalCapacity];

bool Refuse(RefusalText& refusal, const wchar_t* format, const wchar_t* detail = L"") {
    FormatText(refusal, kRefusalCapacity, format, {detail});
    return true;
}

// Whether the destination as typed cannot be installed into, and why, in
// `refusal`; the full path it means in `destination`. A destination that is
// not a full path would be taken relative to the installer's current folder,
// the disc when autorun started it; an empty one would name the current
// drive's root.
bool RefuseDestination(ShortPath& typed, const wchar_t* source, ShortPath& destination, RefusalText& refusal) {
    // 259 units read: more was put into the field than it takes (a picked folder).
    const bool cut = lstrlenW(typed.text) > kMaxDestination;
    const wchar_t* const trimmed = TrimSpaces(typed.text);
    if (*trimmed == L'\0') return Refuse(refusal, kEmptyDestinationMessage);
    if (cut) return Refuse(refusal, kTooLongMessage);
    switch (MakeFullPath(trimmed, destination)) {
    case FullPath::kMade:
        break;
    case FullPath::kNotFull:
        return Refuse(refusal, kNotFullMessage);
    case FullPath::kTooLong:
        return Refuse(refusal, kTooLongMessage);
    case FullPath::kReservedName:
        return Refuse(refusal, kReservedNameMessage, destination.text);  // the folder name as typed
    case FullPath::kForbiddenCharacter: {
        // A control character is shown by its code: as itself it shows nothing, or a box.
        wchar_t code[8];
        wsprintfW(code, L"%u", static_cast<unsigned>(destination.text[0]));
        return destination.text[0] < 32 ? Refuse(refusal, kControlCharacterMessage, code)
                                        : Refuse(refusal, kForbiddenCharacterMessage, destination.text);
    }
    }
    if (destination.text[1] == L':') {
        // A letter this installer does not see: most often a network drive
        // mapped in the user's own session, which an elevated installer does
        // not have. No retry could create a folder there.
        const wchar_t letter = destination.text[0];
        const wchar_t root[] = {letter, L':', L'\\', L'\0'};
        const wchar_t drive[] = {letter >= L'a' && letter <= L'z' ? static_cast<wchar_t>(letter - L'a' + L'A') : letter,
                                 L':', L'\0'};
        if (GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR) return Refuse(refusal, kDriveUnavailableMessage, drive);
    }
    const DWORD attributes = GetFileAttributesW(destination.text);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return Refuse(refusal, kFileInTheWayMessage);
    }
    // Windows makes no folder deeper than this; one that is there is taken.
    if (!FitsAsFolder(destination.text) && attributes == INVALID_FILE_ATTRIBUTES) {
        return Refuse(refusal, kTooLongMessage);
    }
    // No retry can mend a copy of the medium onto itself.
    if (source != nullptr && SameFolder(IdentifyFolder(source), IdentifyFolder(destination.text))) {
        return Refuse(refusal, kSameFolderMessage);
    }
    return false;
}

}  // namespace

void RunInstall(InstallerView& view) {
    ShortPath typed;
    view.ReadDestination(typed);
    // Holds the source folder, later the main program path.
    ShortPath program;
    const bool sourceKnown = FindSourceFolder(program);
    ShortPath full;
    RefusalText refusal;
    if (RefuseDestination(typed, sourceKnown ? program.text : nullptr, full, refusal)) {
        view.ShowMessage(refusal, kInstallerCaption);
        return;
    }
    const wchar_t* const destination = full.text;

    // From here on nothing in the dialog may start a second run or end it.
    view.SetDestinationReadOnly();
    view.DisableButton(IDOK);
    view.DisableButton(IDCANCEL);
    view.DisableButton(IDC_BROWSE);
    view.ClearLog();

    // One walk of the medium, before anything is written: what the copy will
    // do, the room it takes, and then the copy, which reads only files. How
    // far it has got shows from the walk on, in bytes once they are counted.
    view.StartProgress();
    // What the plan shows can never be copied there is refused as a typed
    // destination is, before the first byte, and the dialog is given back.
    CopyPlan plan;
    bool keepEarlier = true;
    bool copied = sourceKnown && plan.Make(view, program.text, destination);
    const bool refused = copied && RefusePlan(plan, refusal, kRefusalCapacity);
    copied = copied && !refused && EnsureRoom(view, plan, keepEarlier);
    if (copied) {
        ProgressMeter progress(view, plan.Bytes());
        // What an installer that was ended kept aside goes back first, so
        // that this install, cancelled, leaves the earlier installation.
        PutBackLeftEarlierFiles(destination, plan);
        copied = CopyTree(view, plan, progress, keepEarlier);
    }
    view.EndProgress();
    if (refused) {
        view.Thaw();
        view.ShowMessage(refusal, kInstallerCaption);
        return;
    }

    // Holds the completion message, later the desktop folder and the shortcut path.
    DesktopPath text;
    if (copied) {
        wsprintfW(text.text, kCompletionMessage, kMainProgramFile);
        view.ShowMessage(text.text, kCompletionCaption);
    }

    const bool programFits = JoinPath(program, destination, kMainProgramFile);
    view.EndWithResult(IDOK);

    // A cancelled install starts nothing: the program may be half-copied, or
    // an earlier installation's beside a half-copied product.
    if (!copied || !programFits || !FileExists(program.text)) return;
    PlaceShortcut(program.text, text);
    StartProgram(program.text);
}
