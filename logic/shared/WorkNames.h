#pragma once

// The names the installer gives its own work folder at the destination and
// the list in it (see logic/copy/WorkFolder.h). Here, below both, because
// the room count plans for them before the copy makes them.
extern const wchar_t kWorkFolderName[];  // "~hdwork", then "~hdwork1", ...
extern const wchar_t kWorkListName[];    // "list"
