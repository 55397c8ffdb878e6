#pragma once

// The end of the copy: every file it wrote on the disk, a flush that failed
// tried again and asked about, before the install may say it is complete.

class CopyPlan;
class Flusher;
class InstallerView;
class UndoJournal;

// Waits until `flusher` has flushed every file the copy wrote. Where a flush
// failed, each file made or replaced (in `journal`) is flushed once more: the
// cache still holds what the failed flush did not write. A file whose flush
// fails again is offered for Retry through `view` while it fails. False when
// the user cancels.
bool MadeDurable(InstallerView& view, const CopyPlan& plan, Flusher& flusher, const UndoJournal& journal);
