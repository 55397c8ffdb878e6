// The install's finish: the shortcut to the installed program on the
// desktop, and its start with the user's own rights.
#pragma once

// Makes the shortcut "Орвента" to `program` on the all-users desktop, or
// where that cannot be (a standard user may not write there, or it cannot be
// found), on the user's own: the completion box has told the user to look
// there. A shortcut that cannot be made is not reported. The calling thread
// must be in a single-threaded COM apartment (the shortcut is a COM object).
void PlaceShortcut(const wchar_t* program);

// Starts the program at `path` with the user's own rights, even when the
// installer runs elevated: then through the desktop shell, which is given up
// on when it has not started it within 15 s. A program that does not start
// is not reported.
void StartProgram(const wchar_t* path);
