// The install's own texts, UTF-16 in the program: the names it installs and
// links, and what it tells the user at its end and when one is running already.
#pragma once

extern const wchar_t kMainProgramFile[];     // "zel_or.exe"
extern const wchar_t kDefaultDestination[];  // "C:\ZelOr"
extern const wchar_t kShortcutName[];        // "Орвента"
extern const wchar_t kCompletionMessage[];   // wsprintfW format, %s = main program file
extern const wchar_t kCompletionCaption[];
extern const wchar_t kAlreadyRunningMessage[];
