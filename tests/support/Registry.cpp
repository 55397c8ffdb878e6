#include "support/Registry.h"

namespace {
const wchar_t kKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kValue[] = L"Common Desktop";

HKEY OpenKey(REGSAM view) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr);
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
        if (RegQueryValueExW(key, kValue, nullptr, &saved.type, nullptr, &size) == ERROR_SUCCESS) {
            saved.bytes.resize(size);
            saved.existed = RegQueryValueExW(key, kValue, nullptr, &saved.type, saved.bytes.data(), &size) ==
                            ERROR_SUCCESS;
        }
        RegCloseKey(key);
    }
}

CommonDesktopValue::~CommonDesktopValue() {
    for (const Saved& saved : saved_) {
        HKEY key = OpenKey(saved.view);
        if (saved.existed) {
            RegSetValueExW(key, kValue, 0, saved.type, saved.bytes.data(), static_cast<DWORD>(saved.bytes.size()));
        } else {
            RegDeleteValueW(key, kValue);
        }
        RegCloseKey(key);
    }
}

void CommonDesktopValue::Set(DWORD type, const std::string& bytes) {
    for (const Saved& saved : saved_) {
        HKEY key = OpenKey(saved.view);
        RegSetValueExW(key, kValue, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }
}

void CommonDesktopValue::Remove() {
    for (const Saved& saved : saved_) {
        HKEY key = OpenKey(saved.view);
        RegDeleteValueW(key, kValue);
        RegCloseKey(key);
    }
}

std::string Utf16Bytes(const std::string& text) {
    const std::wstring wide = Wide(text);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}
