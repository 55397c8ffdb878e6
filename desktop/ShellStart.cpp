// The installed program started through the desktop shell, with its rights.
#include "desktop/ShellStart.h"

#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

namespace {

// A call that succeeded without handing out what was asked for (FindWindowSW's
// S_FALSE when no desktop is registered, a null out-pointer) ends the chain too.
HRESULT Missing(HRESULT result) { return FAILED(result) ? result : E_FAIL; }

// The shell's view of the desktop folder: the desktop's entry in the shell's
// window list, then the browser that entry belongs to, then its active view.
HRESULT FindDesktopView(IShellView*& view) {
    view = nullptr;
    IShellWindows* windows = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                      reinterpret_cast<void**>(&windows));
    if (FAILED(result)) return result;

    VARIANT location = {};
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    VARIANT root = {};  // VT_EMPTY: no root
    long window = 0;
    IDispatch* desktop = nullptr;
    result = windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &desktop);
    windows->Release();
    if (result != S_OK || desktop == nullptr) {
        if (desktop != nullptr) desktop->Release();
        return Missing(result);
    }

    IServiceProvider* services = nullptr;
    result = desktop->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services));
    desktop->Release();
    if (FAILED(result)) return result;

    IShellBrowser* browser = nullptr;
    result = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(&browser));
    services->Release();
    if (FAILED(result)) return result;

    result = browser->QueryActiveShellView(&view);
    browser->Release();
    if (FAILED(result) || view == nullptr) {
        if (view != nullptr) view->Release();
        view = nullptr;
        return Missing(result);
    }
    return S_OK;
}

// The automation object of the shell that shows the desktop: it lives in that
// shell's process, so what it starts is started there.
HRESULT FindDesktopShell(IShellDispatch2*& shell) {
    shell = nullptr;
    IShellView* view = nullptr;
    HRESULT result = FindDesktopView(view);
    if (FAILED(result)) return result;

    // The view's background object is asked for as IDispatch and then queried
    // for its folder-view interface: Wine's view hands it out only as IDispatch
    // (E_NOINTERFACE for IShellFolderViewDual itself); Windows' either way.
    IDispatch* background = nullptr;
    result = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(&background));
    view->Release();
    if (FAILED(result) || background == nullptr) return Missing(result);

    IShellFolderViewDual* folderView = nullptr;
    result = background->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(&folderView));
    background->Release();
    if (FAILED(result)) return result;

    IDispatch* application = nullptr;
    result = folderView->get_Application(&application);
    folderView->Release();
    if (FAILED(result) || application == nullptr) return Missing(result);

    result = application->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(&shell));
    application->Release();
    return result;
}

}  // namespace

HRESULT StartThroughShell(const wchar_t* program, const wchar_t* folder) {
    IShellDispatch2* shell = nullptr;
    HRESULT result = FindDesktopShell(shell);
    if (FAILED(result)) return result;

    BSTR file = SysAllocString(program);
    BSTR directory = SysAllocString(folder);
    if (file == nullptr || directory == nullptr) {
        SysFreeString(file);
        SysFreeString(directory);
        shell->Release();
        return E_OUTOFMEMORY;
    }
    // An optional argument left out, as automation passes one: no arguments,
    // and the file's default verb (for a program, "open").
    VARIANT omitted = {};
    omitted.vt = VT_ERROR;
    omitted.scode = DISP_E_PARAMNOTFOUND;
    VARIANT where = {};
    where.vt = VT_BSTR;
    where.bstrVal = directory;
    VARIANT show = {};
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    result = shell->ShellExecute(file, omitted, where, omitted, show);

    SysFreeString(directory);
    SysFreeString(file);
    shell->Release();
    // A program the shell could not start comes back as S_FALSE (Wine), which
    // is no failure code: only S_OK means that it runs.
    return result == S_OK ? S_OK : Missing(result);
}

namespace {

// What the shell's thread is given: its own copies, since it may outlive the
// caller. Freed by the thread when it ends.
struct ShellRequest {
    wchar_t program[MAX_PATH];
    wchar_t folder[MAX_PATH];
};

// The thread's exit code is the start's result.
DWORD WINAPI ShellStartThread(void* parameter) {
    ShellRequest* request = static_cast<ShellRequest*>(parameter);
    HRESULT result = CoInitialize(nullptr);
    if (SUCCEEDED(result)) {
        result = StartThroughShell(request->program, request->folder);
        CoUninitialize();
    }
    HeapFree(GetProcessHeap(), 0, request);
    return static_cast<DWORD>(result);
}

}  // namespace

HRESULT StartThroughShellWithin(const wchar_t* program, const wchar_t* folder, DWORD timeoutMs) {
    if (lstrlenW(program) >= MAX_PATH || lstrlenW(folder) >= MAX_PATH) {
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    }
    // From the process heap: C++'s operator new would bring its exception
    // machinery and threads library into the program.
    auto* request = static_cast<ShellRequest*>(HeapAlloc(GetProcessHeap(), 0, sizeof(ShellRequest)));
    if (request == nullptr) return E_OUTOFMEMORY;
    lstrcpynW(request->program, program, MAX_PATH);
    lstrcpynW(request->folder, folder, MAX_PATH);
    HANDLE thread = CreateThread(nullptr, 0, ShellStartThread, request, 0, nullptr);
    if (thread == nullptr) {
        const HRESULT result = HRESULT_FROM_WIN32(GetLastError());
        HeapFree(GetProcessHeap(), 0, request);
        return result;
    }
    HRESULT result = kShellDidNotAnswer;
    DWORD exitCode = 0;
    if (WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &exitCode)) {
        result = static_cast<HRESULT>(exitCode);
    }
    CloseHandle(thread);
    return result;
}
