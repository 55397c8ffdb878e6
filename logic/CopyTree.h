#pragma once

class CopyPlan;
class InstallerView;
class ProgressMeter;

// Carries out `plan` (see CopyPlan): creates the destination, every folder
// and every file in the plan's order, and logs each copied file's
// destination path through `view`. The disc is read on a thread of its own,
// ahead of the writing, each file once. A file that cannot be copied whole,
// a folder that cannot be created, is offered for Retry through `view` until
// it succeeds; false when the user cancels. Each file is written whole or not
// at all: files copied before stay, an earlier file stays as it was until its
// new copy is complete, and no partial file is left, not even by an installer
// that was ended (the next copy into the folder removes what it left). The
// bytes of every file go to `progress` as they are written.
bool CopyTree(InstallerView& view, const CopyPlan& plan, ProgressMeter& progress);

// The plan of everything below the folder `source`, for the folder
// `destination`, made and carried out: the copy leaves out the medium's
// start-up files (autorun.inf, start.exe, hd.exe) at every depth, and a
// folder that cannot be listed is offered for Retry too.
bool CopyTree(InstallerView& view, const wchar_t* source, const wchar_t* destination, ProgressMeter& progress);
