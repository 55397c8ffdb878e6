#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/Text.h"

// The bytes of `text` (UTF-8) in UTF-16, as the registry's wide functions
// store a text value: the terminator only if `text` ends in one.
std::string Utf16Bytes(const std::string& text);

// A value that names one of the shell's folders: in the Shell Folders key,
// which programs read, the machine's "Common Desktop" or the user's
// "Desktop"; in the User Shell Folders key, where the shell itself looks for
// the user's "Desktop" and then copies what it found into Shell Folders.
struct ShellFolder {
    HKEY root;
    const wchar_t* key;  // below Software\Microsoft\Windows\CurrentVersion\Explorer
    const wchar_t* value;
};
inline const ShellFolder kCommonDesktop = {HKEY_LOCAL_MACHINE, L"Shell Folders", L"Common Desktop"};
inline const ShellFolder kUserDesktop = {HKEY_CURRENT_USER, L"Shell Folders", L"Desktop"};
inline const ShellFolder kUserShellDesktop = {HKEY_CURRENT_USER, L"User Shell Folders", L"Desktop"};

// Saves a Shell Folders value and puts it back when the test ends. On 64-bit
// Windows the machine's value exists twice: 32-bit programs such as the
// shipped HD.EXE read it from the 32-bit registry view, 64-bit ones from the
// 64-bit view. Both are saved, set and restored together, so the installer
// finds what the test put there whichever its architecture.
class ShellFolderValue {
public:
    explicit ShellFolderValue(const ShellFolder& folder);
    ~ShellFolderValue();
    ShellFolderValue(const ShellFolderValue&) = delete;
    ShellFolderValue& operator=(const ShellFolderValue&) = delete;

    // Replaces the value with raw bytes of the given registry type.
    void Set(DWORD type, const std::string& bytes);
    void SetText(const std::string& folder) { Set(REG_SZ, Utf16Bytes(folder + '\0')); }
    void Remove();

private:
    struct Saved {
        REGSAM view;
        bool existed = false;
        DWORD type = REG_NONE;
        std::vector<BYTE> bytes;
    };
    HKEY Open(REGSAM view) const;

    ShellFolder folder_;
    // Both views on 64-bit Windows; on 32-bit Windows (or a 32-bit Wine
    // prefix) its one registry, asked for without view flags.
    std::vector<Saved> saved_;
};

// Takes the registration of one COM interface away (HKCR\Interface\{iid}:
// where COM finds the proxy, the stub and the type library that carry it
// between processes) for as long as the object lives, and puts it back after;
// in both registry views on 64-bit Windows, since a 32-bit caller and a 64-bit
// server each read their own. Meanwhile the registration is kept under
// HKCU\Software\HD tests, so that a run that died before putting it back
// leaves it there, and the next one puts it back first.
class UnregisteredInterface {
public:
    explicit UnregisteredInterface(const std::string& iid);  // "{...}"
    ~UnregisteredInterface();
    UnregisteredInterface(const UnregisteredInterface&) = delete;
    UnregisteredInterface& operator=(const UnregisteredInterface&) = delete;

    // "" once the registration is gone from every view, else what failed.
    const std::string& Failure() const { return failure_; }

private:
    std::string iid_;
    std::string failure_;
};

// Puts an in-process server in place of the machine's for one COM class for
// as long as the object lives: HKLM\Software\Classes\CLSID\{clsid}\InprocServer32
// names `dll` (apartment-threaded) in the registry view of this program's
// architecture, the one the programs it tests read (Wine's COM then loads
// it). The machine's registration waits meanwhile where UnregisteredInterface
// keeps one, is put back first by the next run if this one died, and is put
// back when the object goes.
class StandInServer {
public:
    StandInServer(const std::string& clsid, const std::string& dll);  // "{...}", a Windows path
    ~StandInServer();
    StandInServer(const StandInServer&) = delete;
    StandInServer& operator=(const StandInServer&) = delete;

    // "" once the stand-in is registered, else what failed.
    const std::string& Failure() const { return failure_; }

private:
    std::string clsid_;
    std::string failure_;
};
