#include "support/Registry.h"

namespace {
const char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kValue[] = "Common Desktop";

HKEY OpenKey(REGSAM view) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
    return key;
}
}  // namespace

CommonDesktopValue::CommonDesktopValue() {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    if (sizeof(void*) == 8 || wow64) {
        saved_ = {{KEY_WOW64_64KEY, false, REG_NONE, {}}, {KEY_WOW64_32KEY, false, REG_NONE, {}}};
    } else {
        saved_ = {{0, false, REG_NONE, {}}};
    }
    for (Saved& saved : saved_) {
        HKEY key = OpenKey(saved.view);
        DWORD size = 0;
        if (RegQueryValueExA(key, kValue, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
            saved.bytes.resize(size);
            saved.existed = RegQueryValueExA(key, kValue, nullptr, &saved.type, saved.bytes.data(), &size) ==
                            ERROR_SUCCESS;
        }
        RegCloseKey(key);
    }
}

CommonDesktopValue::~CommonDesktopValue() {
    for (const Saved& saved : saved_) {
        HKEY key = OpenKey(saved.view);
        if (saved.existed) {
            RegSetValueExA(key, kValue, 0, saved.type, saved.bytes.data(), static_cast<DWORD>(saved.bytes.size()));
        } else {
            RegDeleteValueA(key, kValue);
        }
        RegCloseKey(key);
    }
}

void CommonDesktopValue::Set(DWORD type, const std::string& bytes) {
    for (const Saved& saved : saved_) {
        HKEY key = OpenKey(saved.view);
        RegSetValueExA(key, kValue, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }
}

void CommonDesktopValue::Remove() {
    for (const Saved& saved : saved_) {
        HKEY key = OpenKey(saved.view);
        RegDeleteValueA(key, kValue);
        RegCloseKey(key);
    }
}
