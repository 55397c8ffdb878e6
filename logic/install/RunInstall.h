// The install from "Извлечь" to its end: the sequence of the road's stages.
#pragma once

class InstallerView;

// What "Извлечь" does: freezes the dialog, checks the destination's room,
// copies the folder of the running program into the destination typed in the
// dialog, reports completion, ends the dialog with 1, then makes the desktop
// shortcut (on the all-users desktop, else the user's own) and starts the
// installed main program when it is there, with the user's own rights even
// when the installer runs elevated (a desktop shell that has not started it
// within 15 s is given up on). The destination is made the full path it
// means first; one that is empty, too long, not a full path, named with a
// device name or with a character no name may hold, on a drive this
// installer does not see, a file, or the source folder itself, is refused
// with a message and leaves the dialog as it was (see RefuseDestination). So
// is, once the walk of the medium has shown it, a destination too short of
// Windows' path limits for the medium's deepest folder or file, or on a file
// system that cannot hold one of its files or names (see RefusePlan): the
// dialog, frozen for the walk, is then given back as it was.
// From the walk of the medium to the copy's end the dialog shows how many of
// the files' bytes are copied. An install the user cancels at a failed step
// ends the dialog with 1 too, with no completion box, shortcut or start. It
// waits on the disc and on other processes, so the dialog runs it on a thread
// of its own. The calling thread must be in a single-threaded COM apartment
// (the shortcut is a COM object).
void RunInstall(InstallerView& view);
