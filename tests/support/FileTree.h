#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "support/Text.h"

// A private scratch folder under the Windows temp folder, removed (with
// read-only files in it) before it is made and again when the test ends.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "\\" + relative.
    std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

private:
    std::string path_;
};

// Creates `path` with `contents`, making its folders first.
void WriteFile(const std::string& path, const std::string& contents);
std::string ReadFile(const std::string& path);
void MakeFolders(const std::string& path);
bool Exists(const std::string& path);
bool IsFolder(const std::string& path);
DWORD Attributes(const std::string& path);
bool SetAttributes(const std::string& path, DWORD attributes);
// CopyFileW, replacing what is there.
bool CopyOneFile(const std::string& from, const std::string& to);
// Removes a tree, clearing read-only marks first. Missing trees are fine;
// links in it stay, with the folders that hold them.
void RemoveTree(const std::string& path);
// Every file below `root`, as paths relative to it, sorted.
std::vector<std::string> ListFiles(const std::string& root);
// What is below `root`, by path, in `entries`: each file's size, last-write
// time and attributes, and where `whole`, its bytes and every folder with its
// attributes too. Links are left out (Wine links the user's document folders
// to the host's home, which is not the prefix's), and so are paths that start
// with one of `skipped`.
void Snapshot(const std::string& root, const std::vector<std::string>& skipped,
              std::map<std::string, std::string>& entries, bool whole = false);

// Every entry of `folder` but "." and "..", in listing order; none when it
// cannot be listed.
std::vector<WIN32_FIND_DATAW> FolderEntries(const std::string& folder);

// This program's own path, and the folder it runs from: a test program finds
// the programs it starts or copies beside itself.
std::string OwnPath();
std::string OwnFolder();
// An environment variable's value, "" when it is not set: the scripts that
// run a test program hand it its paths and switches this way. Setting ""
// removes it.
std::string Environment(const char* name);
void SetEnvironment(const char* name, const std::string& value);
