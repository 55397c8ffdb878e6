// Texts built around paths, past wsprintfW's 1024 units.
#include "logic/shared/FormatText.h"

void FormatText(wchar_t* out, int capacity, const wchar_t* format, std::initializer_list<const wchar_t*> args) {
    if (capacity <= 0) return;
    const wchar_t* const* next = args.begin();
    int length = 0;
    auto put = [&](wchar_t unit) {
        if (length < capacity - 1) out[length++] = unit;
    };
    for (const wchar_t* at = format; *at != L'\0'; ++at) {
        if (at[0] == L'%' && at[1] == L's' && next != args.end()) {
            for (const wchar_t* arg = *next++; *arg != L'\0'; ++arg) put(*arg);
            ++at;
        } else {
            put(*at);
        }
    }
    out[length] = L'\0';
}
