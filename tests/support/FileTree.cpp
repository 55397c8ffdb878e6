#include "support/FileTree.h"

#include <algorithm>

#include "support/Text.h"

ScratchFolder::ScratchFolder(const std::string& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = Narrow(temp) + "hd-tests\\" + name;
    RemoveTree(path_);
    MakeFolders(path_);
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void MakeFolders(const std::string& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') CreateDirectoryW(Wide(path.substr(0, i)).c_str(), nullptr);
    }
}

void WriteFile(const std::string& path, const std::string& contents) {
    MakeFolders(path.substr(0, path.find_last_of('\\')));
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadFile(const std::string& path) {
    // Records are read while the programs that write them may hold them open.
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string contents;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) contents.append(chunk, got);
    CloseHandle(file);
    return contents;
}

DWORD Attributes(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()); }

bool SetAttributes(const std::string& path, DWORD attributes) {
    return SetFileAttributesW(Wide(path).c_str(), attributes) != FALSE;
}

bool CopyOneFile(const std::string& from, const std::string& to) {
    return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE) != FALSE;
}

bool Exists(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::string& path) {
    for (const WIN32_FIND_DATAW& entry : FolderEntries(path)) {
        const std::string child = path + "\\" + Narrow(entry.cFileName);
        // A link is left, and what it points to, which is no part of the
        // tree: Wine's RemoveDirectoryW on a link to an empty folder removes
        // that folder and keeps the link.
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(child);
        } else {
            SetAttributes(child, FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(Wide(child).c_str());
        }
    }
    SetAttributes(path, FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(Wide(path).c_str());
}

std::vector<WIN32_FIND_DATAW> FolderEntries(const std::string& folder) {
    std::vector<WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW(Wide(folder + "\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) return entries;
    do {
        if (lstrcmpW(entry.cFileName, L".") != 0 && lstrcmpW(entry.cFileName, L"..") != 0) entries.push_back(entry);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return entries;
}

namespace {
// The files below `folder`, as paths that start with `prefix`.
void CollectFiles(const std::string& folder, const std::string& prefix, std::vector<std::string>& out) {
    for (const WIN32_FIND_DATAW& entry : FolderEntries(folder)) {
        const std::string name = Narrow(entry.cFileName);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CollectFiles(folder + "\\" + name, prefix + name + "\\", out);
        } else {
            out.push_back(prefix + name);
        }
    }
}
}  // namespace

std::vector<std::string> ListFiles(const std::string& root) {
    std::vector<std::string> files;
    CollectFiles(root, "", files);
    std::sort(files.begin(), files.end());
    return files;
}

void Snapshot(const std::string& root, const std::vector<std::string>& skipped,
              std::map<std::string, std::string>& entries, bool whole) {
    for (const WIN32_FIND_DATAW& entry : FolderEntries(root)) {
        const std::string path = root + "\\" + Narrow(entry.cFileName);
        bool skip = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        for (const std::string& prefix : skipped) skip = skip || path.compare(0, prefix.size(), prefix) == 0;
        if (skip) continue;
        const std::string attributes = "attributes " + std::to_string(entry.dwFileAttributes);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (whole) entries[path + "\\"] = attributes;
            Snapshot(path, skipped, entries, whole);
        } else {
            entries[path] = std::to_string(entry.nFileSizeLow) + " bytes, written " +
                            std::to_string(entry.ftLastWriteTime.dwLowDateTime) + ":" +
                            std::to_string(entry.ftLastWriteTime.dwHighDateTime) + ", " + attributes +
                            (whole ? ": " + ReadFile(path) : "");
        }
    }
}

std::string OwnPath() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return Narrow(path);
}

std::string Environment(const char* name) {
    wchar_t value[MAX_PATH] = L"";
    GetEnvironmentVariableW(Wide(name).c_str(), value, MAX_PATH);
    return Narrow(value);
}

void SetEnvironment(const char* name, const std::string& value) {
    SetEnvironmentVariableW(Wide(name).c_str(), value.empty() ? nullptr : Wide(value).c_str());
}

std::string OwnFolder() {
    const std::string path = OwnPath();
    return path.substr(0, path.find_last_of('\\'));
}
