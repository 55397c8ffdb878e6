#pragma once

// A path as the installer holds it: zero-terminated UTF-16, backslash-separated,
// in a fixed buffer whose capacity (in UTF-16 units, as Windows counts
// MAX_PATH) is part of the type. Nothing that writes one may pass its capacity.
template <int Capacity>
struct PathText {
    static constexpr int capacity = Capacity;
    wchar_t text[Capacity];
};

using ShortPath = PathText<260>;     // MAX_PATH: destination side, own path, picked folder
using LongPath = PathText<1024>;     // source side inside the copy (wsprintfW's output limit)
// The all-users desktop folder has a capacity of its own, given by desktop/.
