#include "support/ShellLinkReader.h"

#include <windows.h>
#include <shlobj.h>

ShellLinkFields ReadShellLink(const std::string& path) {
    ShellLinkFields fields;
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) {
        return fields;
    }
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        WCHAR name[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, name, MAX_PATH);
        if (SUCCEEDED(file->Load(name, STGM_READ))) {
            char text[MAX_PATH] = "";
            fields.loaded = true;
            link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
            fields.target = text;
            text[0] = '\0';
            link->GetDescription(text, MAX_PATH);
            fields.description = text;
        }
        file->Release();
    }
    link->Release();
    return fields;
}
