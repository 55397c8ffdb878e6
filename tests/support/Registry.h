#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Saves the machine's "Common Desktop" value and puts it back when the test ends.
class CommonDesktopValue {
public:
    CommonDesktopValue();
    ~CommonDesktopValue();
    CommonDesktopValue(const CommonDesktopValue&) = delete;
    CommonDesktopValue& operator=(const CommonDesktopValue&) = delete;

    // Replaces the value with raw bytes of the given registry type.
    void Set(DWORD type, const std::string& bytes);
    void SetText(const std::string& folder) { Set(REG_SZ, folder + '\0'); }
    void Remove();

private:
    bool existed_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> saved_;
};
