#include "support/Processes.h"

#include <gtest/gtest.h>

#include "support/DialogTexts.h"
#include "support/FileTree.h"

namespace {

// An error's number and text, without the line break the system ends it with.
std::string Describe(DWORD error) {
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512, nullptr);
    std::string message = Narrow(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n')) message.pop_back();
    return "error " + std::to_string(error) + " (" + message + ")";
}

// Whether the path is there, and its attributes and size.
std::string Describe(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
        return "not found: " + Describe(GetLastError());
    }
    char text[64];
    wsprintfA(text, "attributes 0x%lx, %lu bytes", data.dwFileAttributes, data.nFileSizeLow);
    return text;
}

std::string ProcessName(DWORD id) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    wchar_t name[MAX_PATH] = L"?";
    DWORD size = MAX_PATH;
    if (process != nullptr) {
        QueryFullProcessImageNameW(process, 0, name, &size);
        CloseHandle(process);
    }
    return std::to_string(id) + ":" + Narrow(name);
}

}  // namespace

Job::~Job() {
    TerminateJobObject(job_, 99);
    CloseHandle(job_);
}

std::string Job::WaitUntilEmpty(DWORD bound) const {
    const DWORD start = GetTickCount();
    for (;;) {
        struct {
            JOBOBJECT_BASIC_PROCESS_ID_LIST list;
            ULONG_PTR more[63];
        } ids = {};
        ids.list.NumberOfAssignedProcesses = 64;
        QueryInformationJobObject(job_, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr);
        if (ids.list.NumberOfProcessIdsInList == 0) return "";
        if (GetTickCount() - start >= bound) {
            std::string running;
            for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
                running += ProcessName(static_cast<DWORD>(ids.list.ProcessIdList[i])) + " ";
            }
            return running;
        }
        Sleep(20);
    }
}

LimitedToken::LimitedToken() {
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return;
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size = 0;
    if (GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) token_ = linked.LinkedToken;
    CloseHandle(own);
}

LimitedToken::~LimitedToken() {
    if (token_ != nullptr) CloseHandle(token_);
}

std::string LimitedToken::Elevation() const {
    if (token_ == nullptr) return "no linked token";
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    if (!GetTokenInformation(token_, TokenElevation, &elevation, sizeof elevation, &size)) {
        return "no answer: " + Describe(GetLastError());
    }
    return elevation.TokenIsElevated ? "elevated" : "not elevated";
}

StartedProcess::StartedProcess(const std::string& program, const std::string& arguments, const char* folder,
                               Job* job, HANDLE token) {
    const std::string command = "\"" + program + "\"" + arguments;
    std::wstring commandLine = Wide(command);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    const DWORD start = GetTickCount();
    const std::wstring wideFolder = folder ? Wide(folder) : std::wstring();
    const DWORD flags = job ? CREATE_SUSPENDED : 0;
    const BOOL started =
        token ? CreateProcessAsUserW(token, nullptr, &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr,
                                     folder ? wideFolder.c_str() : nullptr, &startup, &process_)
              : CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr,
                               folder ? wideFolder.c_str() : nullptr, &startup, &process_);
    if (!started) {
        const DWORD error = GetLastError();
        failure_ = std::string(token ? "CreateProcessAsUserW " : "CreateProcessW ") + command + " (" + std::to_string(command.size()) + " characters) failed after " +
                   std::to_string(GetTickCount() - start) + " ms: " + Describe(error);
        if (folder != nullptr) failure_ += std::string("; ") + folder + " " + Describe(folder);
        failure_ += "; " + program + " " + Describe(program);
        process_ = {};
        return;
    }
    if (job == nullptr) return;
    if (!AssignProcessToJobObject(job->Handle(), process_.hProcess)) {
        failure_ = "AssignProcessToJobObject " + command + ": " + Describe(GetLastError());
        TerminateProcess(process_.hProcess, 99);
        return;
    }
    ResumeThread(process_.hThread);
}

StartedProcess::~StartedProcess() {
    if (process_.hProcess == nullptr) return;
    // Waited for, so that what it had open can be removed after it.
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 99);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

DWORD StartedProcess::ExitCode(DWORD timeout) const {
    DWORD code = STILL_ACTIVE;
    if (process_.hProcess == nullptr) return code;
    WaitForSingleObject(process_.hProcess, timeout);
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

Installer::Installer(const std::string& root, Job* job, const std::string& program)
    : StartedProcess(program.empty() ? root + "HD.EXE" : program, "", root.c_str(), job) {
    if (!Started()) {
        ADD_FAILURE() << Failure();
        return;
    }
    dialog = WaitForWindow(shown::kCaption, Id());
}
