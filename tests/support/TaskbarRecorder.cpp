// Stands in for the shell's taskbar list (CLSID_TaskbarList) while a test has
// it registered in the prefix in place of Wine's own: an in-process server
// whose objects record every call made on them, one line a call, to the file
// HD_TASKBAR_RECORD names (nothing without it):
//   <GetTickCount> <object> <method> [<window> <value>...]
// <object> numbers the objects made in the process from 1; "Released" is
// recorded when the last reference to one goes. Every call succeeds.
#include <windows.h>
#include <shobjidl.h>

#include <string>

namespace {

LONG g_objects = 0;

void Record(LONG object, const std::string& call) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"HD_TASKBAR_RECORD", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::string line = std::to_string(GetTickCount()) + " " + std::to_string(object) + " " + call + "\n";
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Window(HWND window) { return std::to_string(reinterpret_cast<ULONG_PTR>(window)); }

class TaskbarList final : public ITaskbarList3 {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_ITaskbarList && iid != IID_ITaskbarList2 && iid != IID_ITaskbarList3) {
            return E_NOINTERFACE;
        }
        *out = static_cast<ITaskbarList3*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            Record(object_, "Released");
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE HrInit() override { return Called("HrInit"); }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND window, ULONGLONG done, ULONGLONG total) override {
        return Called("SetProgressValue " + Window(window) + " " + std::to_string(done) + " " + std::to_string(total));
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND window, TBPFLAG state) override {
        return Called("SetProgressState " + Window(window) + " " + std::to_string(state));
    }
    // Recorded by name: the installer calls none of them.
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return Called("AddTab"); }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return Called("DeleteTab"); }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return Called("ActivateTab"); }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return Called("SetActiveAlt"); }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, BOOL) override { return Called("MarkFullscreenWindow"); }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return Called("RegisterTab"); }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return Called("UnregisterTab"); }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return Called("SetTabOrder"); }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return Called("SetTabActive"); }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return Called("ThumbBarAddButtons");
    }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
        return Called("ThumbBarUpdateButtons");
    }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return Called("ThumbBarSetImageList"); }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return Called("SetOverlayIcon"); }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return Called("SetThumbnailTooltip"); }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return Called("SetThumbnailClip"); }

private:
    HRESULT Called(const std::string& call) const {
        Record(object_, call);
        return S_OK;
    }

    const LONG object_ = InterlockedIncrement(&g_objects);
    LONG references_ = 1;
};

// One for the process; never goes.
class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
        return *out != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        TaskbarList* list = new TaskbarList;
        const HRESULT result = list->QueryInterface(iid, out);
        list->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    *out = nullptr;
    if (clsid != CLSID_TaskbarList) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
