// The install from "Извлечь" to its end, in the order of the road: the
// destination read and judged, the dialog frozen, the medium's plan made,
// judged, counted and copied, the completion box, the dialog ended, and the
// finish (the shortcut and the start of the installed program).
#include "logic/install/RunInstall.h"

#include <windows.h>

#include "logic/copy/CopyTree.h"
#include "logic/copy/EndedInstall.h"
#include "logic/destination/Refusal.h"
#include "logic/install/Finish.h"
#include "logic/install/InstallTexts.h"
#include "logic/plan/CopyPlan.h"
#include "logic/plan/PlanLimits.h"
#include "logic/plan/Room.h"
#include "logic/shared/FileSystem.h"
#include "logic/shared/PathText.h"
#include "logic/view/Caption.h"
#include "logic/view/InstallerView.h"
#include "logic/view/ProgressMeter.h"
#include "resources/ResourceIds.h"

namespace {

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

// From here on nothing in the dialog may start a second run or end it.
void Freeze(InstallerView& view) {
    view.SetDestinationReadOnly();
    view.DisableButton(IDOK);
    view.DisableButton(IDCANCEL);
    view.DisableButton(IDC_BROWSE);
    view.ClearLog();
}

// How the way from the walk of the medium to the copy's end went.
enum class Outcome { kCopied, kFailed, kRefused };

// One walk of the medium `source`, before anything is written: what the copy
// will do, whether it can be done at `destination` at all (kRefused, why in
// `refusal`), the room it takes, and then the copy, which reads only files.
// kFailed when the user cancels on the way.
Outcome PlanAndCopy(InstallerView& view, const wchar_t* source, const wchar_t* destination, RefusalText& refusal) {
    CopyPlan plan;
    bool keepEarlier = true;
    if (!plan.Make(view, source, destination)) return Outcome::kFailed;
    if (RefusePlan(plan, refusal, kRefusalCapacity)) return Outcome::kRefused;
    if (!EnsureRoom(view, plan, keepEarlier)) return Outcome::kFailed;
    // What an installer that was ended kept aside goes back first, so that
    // this install, cancelled, leaves the earlier installation.
    PutBackLeftEarlierFiles(destination, plan);
    ProgressMeter progress(view, plan.Bytes());
    return CopyTree(view, plan, progress, keepEarlier) ? Outcome::kCopied : Outcome::kFailed;
}

void ShowCompletion(InstallerView& view) {
    wchar_t message[1024];  // wsprintfW's most
    wsprintfW(message, kCompletionMessage, kMainProgramFile);
    view.ShowMessage(message, kCompletionCaption);
}

// The shortcut to the installed main program and its start, where it is
// there: a path to it that does not fit would name another file.
void Finish(const wchar_t* destination) {
    ShortPath program;
    if (!JoinPath(program, destination, kMainProgramFile) || !FileExists(program.text)) return;
    PlaceShortcut(program.text);
    StartProgram(program.text);
}

}  // namespace

void RunInstall(InstallerView& view) {
    ShortPath typed;
    view.ReadDestination(typed);
    ShortPath source;
    const bool sourceKnown = FindSourceFolder(source);
    ShortPath destination;
    RefusalText refusal;
    if (RefuseDestination(typed, sourceKnown ? source.text : nullptr, destination, refusal)) {
        view.ShowMessage(refusal, kInstallerCaption);
        return;
    }
    Freeze(view);

    // How far the install has got shows from the walk on, in bytes once
    // they are counted.
    view.StartProgress();
    const Outcome outcome = sourceKnown ? PlanAndCopy(view, source.text, destination.text, refusal) : Outcome::kFailed;
    view.EndProgress();
    // What the plan shows can never be copied there is refused as a typed
    // destination is, before the first byte, and the dialog is given back.
    if (outcome == Outcome::kRefused) {
        view.Thaw();
        view.ShowMessage(refusal, kInstallerCaption);
        return;
    }
    if (outcome == Outcome::kCopied) ShowCompletion(view);
    view.EndWithResult(IDOK);
    // A cancelled install starts nothing: the program may be half-copied, or
    // an earlier installation's beside a half-copied product.
    if (outcome == Outcome::kCopied) Finish(destination.text);
}
