#pragma once

class InstallerView;

// Install constants. Texts are Windows-1251 in the program.
extern const char kMainProgramFile[];     // "zel_or.exe"
extern const char kDefaultDestination[];  // "C:\ZelOr"
extern const char kShortcutName[];        // "Орвента"
extern const char kCompletionMessage[];   // wsprintfA format, %s = main program file
extern const char kCompletionCaption[];
extern const char kEmptyDestinationMessage[];
extern const char kInstallerCaption[];

// What "Извлечь" does: freezes the dialog, copies the folder of the running
// program into the destination typed in the dialog, reports completion, ends
// the dialog with 1, then makes the desktop shortcut and starts the installed
// main program when it is there. An empty destination is refused with a
// message and leaves the dialog as it was.
void RunInstall(InstallerView& view);
