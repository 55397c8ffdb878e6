#pragma once

// The put-back of one earlier file kept in a work folder, over what took its
// name or beside its own name: the undo of a cancelled install, and the
// recovery of one that was ended, both put back so.

#include <windows.h>

// Puts the earlier file at `kept` back at `target` with its `attributes`, as
// it was: bytes and time stamps are its own. Where the new file never took
// its place (`kept` is only a second name of `target`), that name goes.
// True too when nothing is kept there (it was put back before); false when
// it cannot be put back.
bool PutBackFile(const wchar_t* kept, const wchar_t* target, DWORD attributes);
