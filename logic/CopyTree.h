#pragma once

class InstallerView;
class ProgressMeter;

// Copies everything below the folder `source` into the folder `destination`,
// depth first, leaving out the medium's start-up files (autorun.inf, start.exe,
// hd.exe) at every depth. Logs each copied file's destination path through
// `view`. A file that cannot be copied whole, a folder that cannot be created
// or listed, is offered for Retry through `view` until it succeeds; false
// when the user cancels. Each file is written whole or not at all: files
// copied before stay, an earlier file stays as it was until its new copy is
// complete, and no partial file is left, not even by an installer that was
// ended (the next copy into the folder removes what it left). The bytes of
// every file go to `progress` as they are written.
bool CopyTree(InstallerView& view, const wchar_t* source, const wchar_t* destination, ProgressMeter& progress);
