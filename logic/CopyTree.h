#pragma once

class InstallerView;

// Copies everything below the folder `source` into the folder `destination`,
// depth first, leaving out the medium's start-up files (autorun.inf, start.exe,
// hd.exe) at every depth. Logs each copied file's destination path and pumps one
// window message per listing entry through `view`. A file that cannot be
// copied whole, a folder that cannot be created or listed, is offered for
// Retry through `view` until it succeeds; false when the user cancels. Files
// copied before stay; no partial file does.
bool CopyTree(InstallerView& view, const wchar_t* source, const wchar_t* destination);
