#pragma once

#include <initializer_list>

// Texts built around paths: the boxes' and the refusals'.

// Writes `format` into `out` with each %s replaced by the next of `args`, in
// order: for texts that hold paths, which may pass wsprintfW's 1024 units.
// Writes at most `capacity` - 1 units and the terminator; a longer text is cut.
void FormatText(wchar_t* out, int capacity, const wchar_t* format, std::initializer_list<const wchar_t*> args);
