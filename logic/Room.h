#pragma once

#include <windows.h>

class InstallerView;

// Whether the destination's volume has room for the install, before anything
// is written: one walk of the source adds up each file to be copied, rounded
// up to the volume's cluster, less what a file of the same name at the
// destination takes now (it will be replaced, once its new copy is whole:
// the count is the most the copy takes at any moment), against the space
// this user may still use there. Too little is offered for Retry, which measures again.
// True when there is room, or when the volume cannot be asked (the copy then
// meets what is wrong and says so); false when the user cancels. `bytes` is
// set to the size of all the files the copy will write once they are counted.
bool EnsureRoom(InstallerView& view, const wchar_t* source, const wchar_t* destination, ULONGLONG& bytes);
