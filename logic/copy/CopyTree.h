#pragma once

// The copy stage's entry: the plan carried out into the destination, whole
// or not at all.

class CopyPlan;
class InstallerView;
class ProgressMeter;

// Carries out `plan` (see CopyPlan): creates the destination, every folder
// and every file in the plan's order, and logs each copied file's
// destination path through `view`. The disc is read on a thread of its own,
// ahead of the writing, each file once; every file written is flushed to
// the disk, on the flush threads (Flusher::kThreads of them) while the copy
// goes on, before this returns true. A file that cannot be copied whole, a
// folder that cannot be created, is offered for Retry through `view` until
// it succeeds.
//
// The install is whole or not at all. Each file is written whole before it
// takes its name; an earlier file it replaces is kept aside on the same
// volume (where `keepEarlier`: the volume has room for both) until the end.
// When the user cancels, what was done is undone, newest first: the files
// and folders it made go (the destination and the folders above it too),
// the earlier files come back as they were, and nothing else is touched;
// then false. What an installer that was ended kept aside is not this
// copy's business: it is put back before it (PutBackLeftEarlierFiles).
// The bytes of every file go to `progress` as they are written.
bool CopyTree(InstallerView& view, const CopyPlan& plan, ProgressMeter& progress, bool keepEarlier);

// The plan of everything below the folder `source`, for the folder
// `destination`, made and carried out as above, the earlier files kept: the
// copy leaves out the medium's start-up files (autorun.inf, start.exe,
// hd.exe) at every depth, and a folder that cannot be listed is offered for
// Retry too. It neither counts the room nor puts back what an ended
// installer kept: the tests' and the bench's copy, not the install.
bool CopyTree(InstallerView& view, const wchar_t* source, const wchar_t* destination, ProgressMeter& progress);
