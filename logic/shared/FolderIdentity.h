#pragma once

#include "logic/shared/PathText.h"

// Whether two paths name one folder: the installer never copies the medium
// onto itself, however the destination is spelled.

// Which folder a path names, independent of how the path spells it (case,
// doubled separators, another drive letter for the same folder): its volume
// and file index. Unknown for a path that names no folder that can be
// opened. On a volume without a serial number (Wine gives none to a drive
// letter made after its server started) the index alone could be another volume's folder's, so
// the full path, in capitals, must match as well (as the installer makes its
// paths: no separator at the end but a drive root's).
struct FolderIdentity {
    bool known;
    unsigned long volume;
    unsigned long indexHigh;
    unsigned long indexLow;
    ShortPath path;  // only where the volume has no serial number
};
FolderIdentity IdentifyFolder(const wchar_t* path);
// Both known, and the same folder.
bool SameFolder(const FolderIdentity& a, const FolderIdentity& b);
