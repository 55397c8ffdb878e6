#include "support/Registry.h"

namespace {
const char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kValue[] = "Common Desktop";

HKEY OpenKey() {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}
}  // namespace

CommonDesktopValue::CommonDesktopValue() {
    HKEY key = OpenKey();
    DWORD size = 0;
    if (RegQueryValueExA(key, kValue, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
        saved_.resize(size);
        existed_ = RegQueryValueExA(key, kValue, nullptr, &type_, saved_.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
}

CommonDesktopValue::~CommonDesktopValue() {
    if (existed_) {
        HKEY key = OpenKey();
        RegSetValueExA(key, kValue, 0, type_, saved_.data(), static_cast<DWORD>(saved_.size()));
        RegCloseKey(key);
    } else {
        Remove();
    }
}

void CommonDesktopValue::Set(DWORD type, const std::string& bytes) {
    HKEY key = OpenKey();
    RegSetValueExA(key, kValue, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

void CommonDesktopValue::Remove() {
    HKEY key = OpenKey();
    RegDeleteValueA(key, kValue);
    RegCloseKey(key);
}
