#include "support/ShellLinkReader.h"

#include <windows.h>
#include <shlobj.h>

#include "support/Text.h"

ShellLinkFields ReadShellLink(const std::string& path) {
    ShellLinkFields fields;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return fields;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(Wide(path).c_str(), STGM_READ))) {
            wchar_t text[MAX_PATH] = L"";
            fields.loaded = true;
            link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
            fields.target = Narrow(text);
            text[0] = L'\0';
            link->GetDescription(text, MAX_PATH);
            fields.description = Narrow(text);
        }
        file->Release();
    }
    link->Release();
    return fields;
}
