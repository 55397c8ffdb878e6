#pragma once

class InstallerView;

// Copies everything below the folder `source` into the folder `destination`,
// depth first, leaving out the medium's start-up files (autorun.inf, start.exe,
// hd.exe) at every depth. Logs each copied file's destination path and pumps one
// window message per listing entry through `view`. Stops at the first file that
// cannot be copied and returns false; files copied before it stay.
bool CopyTree(InstallerView& view, const wchar_t* source, const wchar_t* destination);
