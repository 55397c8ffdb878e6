#pragma once

#include <string>

// The test programs hold their texts and paths as UTF-8 in std::string, so
// that a failure prints readably whatever the machine's code page; they call
// the wide form of every Windows function and convert at the call.
std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
