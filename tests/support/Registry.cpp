#include "support/Registry.h"

namespace {
const wchar_t kExplorerKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

// The registry views a machine-wide value lives in: both on 64-bit Windows,
// the one registry (asked for without view flags) on 32-bit Windows or in a
// 32-bit Wine prefix.
std::vector<REGSAM> Views() {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (sizeof(void*) == 8 || wow64) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
    return {0};
}

std::string ViewName(REGSAM view) {
    return view == KEY_WOW64_64KEY ? "64-bit" : view == KEY_WOW64_32KEY ? "32-bit" : "only";
}

const wchar_t kInterfaces[] = L"Software\\Classes\\Interface";

// Where an interface's registration waits while it is taken away, one key a view.
std::wstring KeptKey(const std::string& iid, REGSAM view) {
    return Wide("Software\\HD tests\\Unregistered\\" + ViewName(view) + "\\" + iid);
}

// Removes the key `path` with everything below it, in the registry view `view`.
LONG DeleteTree(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY parent = nullptr;
    const size_t separator = path.find_last_of(L'\\');
    LONG status = RegOpenKeyExW(root, path.substr(0, separator).c_str(), 0, KEY_ALL_ACCESS | view, &parent);
    if (status != ERROR_SUCCESS) return status;
    status = RegDeleteTreeW(parent, path.substr(separator + 1).c_str());
    RegCloseKey(parent);
    return status;
}

// Copies the tree under `from`\`name` to `to`\`name`, then removes the
// original; ERROR_SUCCESS or the first error.
LONG MoveTree(HKEY fromRoot, const std::wstring& from, REGSAM fromView, HKEY toRoot, const std::wstring& to,
              REGSAM toView) {
    HKEY source = nullptr;
    LONG status = RegOpenKeyExW(fromRoot, from.c_str(), 0, KEY_READ | fromView, &source);
    if (status != ERROR_SUCCESS) return status;
    HKEY target = nullptr;
    status = RegCreateKeyExW(toRoot, to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | toView, nullptr, &target, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegCopyTreeW(source, nullptr, target);
        RegCloseKey(target);
    }
    RegCloseKey(source);
    if (status != ERROR_SUCCESS) return status;
    return DeleteTree(fromRoot, from, fromView);
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Removes the keys above a kept registration that hold nothing else any more,
// up to HKCU\Software\HD tests\Unregistered.
void RemoveEmptyKeepers(std::wstring kept) {
    const std::wstring top = L"Software\\HD tests";
    for (size_t separator; (separator = kept.find_last_of(L'\\')) != std::wstring::npos && kept != top;) {
        kept.resize(separator);
        // results ignored: a key that still holds another registration stays.
        if (kept != top) RegDeleteKeyW(HKEY_CURRENT_USER, kept.c_str());
    }
}

// Puts the machine's registration kept at `kept` back at `live` (in `view`
// of HKLM) in place of what is there, if one is kept.
void PutBack(const std::wstring& live, const std::wstring& kept, REGSAM view) {
    if (KeyExists(HKEY_CURRENT_USER, kept, 0)) {
        DeleteTree(HKEY_LOCAL_MACHINE, live, view);  // result ignored: fails when it is not there
        MoveTree(HKEY_CURRENT_USER, kept, 0, HKEY_LOCAL_MACHINE, live, view);
    }
    RemoveEmptyKeepers(kept);
}

// Moves the machine's registration at `live` aside to `kept`, after putting
// back what a run that died left kept. ERROR_FILE_NOT_FOUND when there is none.
LONG KeepAside(const std::wstring& live, const std::wstring& kept, REGSAM view) {
    PutBack(live, kept, view);
    if (!KeyExists(HKEY_LOCAL_MACHINE, live, view)) return ERROR_FILE_NOT_FOUND;
    return MoveTree(HKEY_LOCAL_MACHINE, live, view, HKEY_CURRENT_USER, kept, 0);
}

// The machine's own view for this program: its registrations are the ones it reads.
REGSAM OwnView() {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    return sizeof(void*) == 8 ? KEY_WOW64_64KEY : wow64 ? KEY_WOW64_32KEY : 0;
}

std::wstring InprocServer(const std::string& clsid) {
    return Wide("Software\\Classes\\CLSID\\" + clsid + "\\InprocServer32");
}
}  // namespace

ShellFolderValue::ShellFolderValue(const ShellFolder& folder) : folder_(folder) {
    for (REGSAM view : Views()) saved_.push_back({view, false, REG_NONE, {}});
    for (Saved& saved : saved_) {
        HKEY key = Open(saved.view);
        DWORD size = 0;
        if (RegQueryValueExW(key, folder_.value, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
            saved.bytes.resize(size);
            saved.existed = RegQueryValueExW(key, folder_.value, nullptr, &saved.type, saved.bytes.data(), &size) ==
                            ERROR_SUCCESS;
        }
        RegCloseKey(key);
    }
}

ShellFolderValue::~ShellFolderValue() {
    for (const Saved& saved : saved_) {
        HKEY key = Open(saved.view);
        if (saved.existed) {
            RegSetValueExW(key, folder_.value, 0, saved.type, saved.bytes.data(),
                           static_cast<DWORD>(saved.bytes.size()));
        } else {
            RegDeleteValueW(key, folder_.value);
        }
        RegCloseKey(key);
    }
}

HKEY ShellFolderValue::Open(REGSAM view) const {
    HKEY key = nullptr;
    const std::wstring path = std::wstring(kExplorerKey) + folder_.key;
    RegCreateKeyExW(folder_.root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    return key;
}

void ShellFolderValue::Set(DWORD type, const std::string& bytes) {
    for (const Saved& saved : saved_) {
        HKEY key = Open(saved.view);
        RegSetValueExW(key, folder_.value, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }
}

void ShellFolderValue::Remove() {
    for (const Saved& saved : saved_) {
        HKEY key = Open(saved.view);
        RegDeleteValueW(key, folder_.value);
        RegCloseKey(key);
    }
}

std::string Utf16Bytes(const std::string& text) {
    const std::wstring wide = Wide(text);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

UnregisteredInterface::UnregisteredInterface(const std::string& iid) : iid_(iid) {
    const std::wstring live = std::wstring(kInterfaces) + L"\\" + Wide(iid);
    for (REGSAM view : Views()) {
        const LONG status = KeepAside(live, KeptKey(iid, view), view);
        if (status != ERROR_SUCCESS) {
            failure_ += "the " + ViewName(view) + " view's HKCR\\Interface\\" + iid + ": error " +
                        std::to_string(status) + "; ";
        }
    }
}

UnregisteredInterface::~UnregisteredInterface() {
    const std::wstring live = std::wstring(kInterfaces) + L"\\" + Wide(iid_);
    for (REGSAM view : Views()) PutBack(live, KeptKey(iid_, view), view);
}

StandInServer::StandInServer(const std::string& clsid, const std::string& dll) : clsid_(clsid) {
    const std::wstring live = InprocServer(clsid);
    // A machine without a registration of its own has nothing to keep.
    const LONG kept = KeepAside(live, KeptKey("CLSID\\" + clsid, OwnView()), OwnView());
    if (kept != ERROR_SUCCESS && kept != ERROR_FILE_NOT_FOUND) {
        failure_ = "keeping the machine's registration: error " + std::to_string(kept);
    }
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, live.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | OwnView(), nullptr,
                                  &key, nullptr);
    const auto setText = [&](const wchar_t* name, const std::string& text) {
        const std::string bytes = Utf16Bytes(text + '\0');
        return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size()));
    };
    if (status == ERROR_SUCCESS) {
        status = setText(nullptr, dll);
        if (status == ERROR_SUCCESS) status = setText(L"ThreadingModel", "Apartment");
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) failure_ += "registering " + dll + ": error " + std::to_string(status);
}

StandInServer::~StandInServer() {
    const std::wstring live = InprocServer(clsid_);
    DeleteTree(HKEY_LOCAL_MACHINE, live, OwnView());  // the stand-in, where the machine kept none
    PutBack(live, KeptKey("CLSID\\" + clsid_, OwnView()), OwnView());
}
