// The destination's refusals: a typed destination that cannot be installed
// into, and why, before anything is frozen or written.
#pragma once

#include "logic/shared/PathText.h"

// Room for a refusal's text: the longest folder name, or a path on the disc
// (1023 units), and the words around it.
constexpr int kRefusalCapacity = 1536;
using RefusalText = wchar_t[kRefusalCapacity];

// Whether the destination as typed (`typed`, at most 259 units: 259 mean
// more was put into the field than it takes) cannot be installed into, and
// why, in `refusal`; the full path it means in `destination` (MakeFullPath).
// A destination that is not a full path would be taken relative to the
// installer's current folder, the disc when autorun started it; an empty
// one would name the current drive's root. Refused are one that is empty or
// spaces only, too long, not a full path, named with a device name or with
// a character no name may hold, on a drive letter this installer does not
// see, a file, a folder deeper than Windows makes that is not there yet,
// and the source folder `source` itself (by identity; nullptr: not known).
// `typed` loses its trailing spaces, in place.
bool RefuseDestination(ShortPath& typed, const wchar_t* source, ShortPath& destination, RefusalText& refusal);

// The refusals' texts, UTF-16 in the program.
extern const wchar_t kEmptyDestinationMessage[];
extern const wchar_t kTooLongMessage[];
extern const wchar_t kNotFullMessage[];
extern const wchar_t kFileInTheWayMessage[];
extern const wchar_t kSameFolderMessage[];
extern const wchar_t kReservedNameMessage[];        // %s = the folder name as typed
extern const wchar_t kForbiddenCharacterMessage[];  // %s = the character
extern const wchar_t kControlCharacterMessage[];    // %s = its code, in decimal
extern const wchar_t kDriveUnavailableMessage[];    // %s = the drive, "Q:"
