#pragma once

// The recovery of an install that was ended (Task Manager, a power cut):
// what it had kept aside in its work folder is put back before the next
// install into the same destination writes anything.

class CopyPlan;

// Finds what an install into `destination` that was ended left in its work
// folders: every earlier file listed there is put back over what took its
// place (its folders are checked to be no links), and the work folder is
// removed with its files. Names the disc's top folder holds (in `plan`) are
// not looked at, nor anything not listed by an installer. The files the
// ended install had added stay; this install writes them again.
void PutBackLeftEarlierFiles(const wchar_t* destination, const CopyPlan& plan);
