#include "support/TaskbarStandIn.h"

#include <shobjidl.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <vector>

#include "support/FileTree.h"

namespace {

// One line of the record: "<tick> <object> <method> [<window> <value>...]".
struct Call {
    DWORD tick = 0;
    int object = 0;
    std::string method;
    std::vector<ULONGLONG> arguments;
};

std::vector<Call> Calls(const std::string& record) {
    std::vector<Call> calls;
    std::istringstream lines(Exists(record) ? ReadFile(record) : "");
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        Call call;
        fields >> call.tick >> call.object >> call.method;
        for (ULONGLONG argument; fields >> argument;) call.arguments.push_back(argument);
        calls.push_back(call);
    }
    return calls;
}

}  // namespace

TaskbarStandIn::TaskbarStandIn(const std::string& record)
    : record_(record), server_("{56FDF344-FD6D-11d0-958A-006097C9A090}", OwnFolder() + "\\taskbar_recorder.dll") {
    DeleteFileW(Wide(record_).c_str());
    SetEnvironment("HD_TASKBAR_RECORD", record_);
}

TaskbarStandIn::~TaskbarStandIn() { SetEnvironment("HD_TASKBAR_RECORD", ""); }

std::string TaskbarStandIn::States() const {
    static const std::map<ULONGLONG, std::string> kNames = {
        {TBPF_NOPROGRESS, "none"}, {TBPF_INDETERMINATE, "indeterminate"}, {TBPF_NORMAL, "normal"},
        {TBPF_ERROR, "error"},     {TBPF_PAUSED, "paused"}};
    std::string states, last;
    for (const Call& call : Calls(record_)) {
        if (call.method != "SetProgressState" || call.arguments.size() != 2) continue;
        const auto name = kNames.find(call.arguments[1]);
        const std::string state = name != kNames.end() ? name->second : std::to_string(call.arguments[1]);
        if (state != last) states += (states.empty() ? "" : " ") + state;
        last = state;
    }
    return states;
}

std::string TaskbarStandIn::Faults(HWND window, ULONGLONG total) const {
    const std::vector<Call> calls = Calls(record_);
    const ULONGLONG shown = reinterpret_cast<ULONG_PTR>(window);
    std::map<int, std::string> first, last;  // each object's first and last method
    std::vector<DWORD> values;               // when each value came
    ULONGLONG done = 0;
    for (const Call& call : calls) {
        const std::string at = " at " + std::to_string(call.tick) + " ms, object " + std::to_string(call.object);
        if (first.emplace(call.object, call.method).second && call.method != "HrInit") {
            return call.method + " before HrInit" + at;
        }
        last[call.object] = call.method;
        if (call.method == "HrInit" || call.method == "Released") continue;
        if (call.method != "SetProgressState" && call.method != "SetProgressValue") return call.method + at;
        if (call.arguments.empty() || call.arguments[0] != shown) return call.method + " for another window" + at;
        if (call.method == "SetProgressState") continue;
        if (call.arguments.size() != 3 || call.arguments[2] != total) return "a value not of the total" + at;
        if (call.arguments[1] < done) return "a value less than the one before" + at;
        done = call.arguments[1];
        values.push_back(call.tick);
        if (values.size() > 10 && values.back() - values[values.size() - 11] <= 1000) {
            return "eleven values within a second" + at;
        }
    }
    for (const auto& object : last) {
        if (object.second != "Released") return "object " + std::to_string(object.first) + " not released";
    }
    if (values.empty()) return "no value";
    return done == total ? "" : "the last value is " + std::to_string(done) + " of " + std::to_string(total);
}

int TaskbarStandIn::Objects() const {
    int objects = 0;
    for (const Call& call : Calls(record_)) objects = std::max(objects, call.object);
    return objects;
}

std::string TaskbarStandIn::Diagnosis() const {
    wchar_t server[MAX_PATH] = L"";
    DWORD size = sizeof server;
    const LONG status = RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{56FDF344-FD6D-11d0-958A-006097C9A090}\\InprocServer32",
                                     nullptr, RRF_RT_REG_SZ, nullptr, server, &size);
    return "record: [" + (Exists(record_) ? ReadFile(record_) : "none") + "]; HKCR names " +
           (status == ERROR_SUCCESS ? Narrow(server) : "nothing (error " + std::to_string(status) + ")");
}
