#pragma once

// The walk of the medium: its tree listed once, depth first, in the order a
// CD keeps its names, each entry handed to a visitor.

#include <windows.h>

class InstallerView;

// One entry that a walk of the source tree keeps: a file to copy, or a folder
// to create and go into. A path that does not fit its buffer is nullptr; the
// two folders and the name are always there, for the boxes that show them.
struct TreeEntry {
    const wchar_t* sourceFolder;
    const wchar_t* destinationFolder;
    const WIN32_FIND_DATAW& found;  // the listing's entry: name, attributes, size, last-write time
    const wchar_t* source;          // sourceFolder\name, or nullptr beyond 1023 units
    const wchar_t* destination;     // destinationFolder\name, or nullptr beyond 259 units
};

// What a walk does with the entries it keeps. Each returns false to stop the
// whole walk: the user cancelled.
class TreeVisitor {
public:
    virtual bool VisitFile(const TreeEntry& file) = 0;
    // Before the walk goes into the folder; it goes in only when both paths fit.
    virtual bool EnterFolder(const TreeEntry& folder) = 0;

protected:
    ~TreeVisitor() = default;
};

// Walks the tree below the folder `source` depth first, each folder's
// entries in the order of their names' UTF-16 code units (the order of a CD's
// folder), beside the destination tree below `destination`: every file but
// the medium's start-up files (autorun.inf, start.exe, hd.exe, at every
// depth, in any case), every folder but "." and ".." and but `destination`
// itself when it lies inside the source. Each folder is listed whole before
// its entries are walked; a listing that cannot be started, or breaks off, is
// offered for Retry through `view`, which lists it again. False when the user
// cancels there or the visitor stops.
bool WalkTree(InstallerView& view, TreeVisitor& visitor, const wchar_t* source, const wchar_t* destination);
