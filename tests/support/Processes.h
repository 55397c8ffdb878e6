#pragma once

#include <windows.h>

#include <string>

#include "support/ForeignWindows.h"

// A job object. A process put into it belongs to it with every process it
// starts (a program the installer starts too), so a test can wait for all of
// them. Whatever still runs in it is ended when the object goes.
class Job {
public:
    Job() : job_(CreateJobObjectW(nullptr, nullptr)) {}
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    HANDLE Handle() const { return job_; }
    // "" once every process of the job has ended, otherwise the id and path
    // of each one still running after `bound` ms.
    std::string WaitUntilEmpty(DWORD bound) const;

private:
    HANDLE job_;
};

// The token that an administrator's unelevated programs run with: the linked
// token of this program's own, elevated one (Wine gives every program an
// elevated token and links a limited one to it). Null when there is none.
class LimitedToken {
public:
    LimitedToken();
    ~LimitedToken();
    LimitedToken(const LimitedToken&) = delete;
    LimitedToken& operator=(const LimitedToken&) = delete;

    HANDLE Handle() const { return token_; }
    // What the token's elevation query answers: "elevated", "not elevated",
    // or why there is no answer.
    std::string Elevation() const;

private:
    HANDLE token_ = nullptr;
};

// A program a test or benchmark starts: `program` by its quoted path, then
// `arguments`, in `folder` (nullptr: this program's current folder). With a
// job, it is put into it before it runs its first instruction; with a token,
// it runs with that token instead of this program's. Ended if it still runs
// when the object goes.
class StartedProcess {
public:
    StartedProcess(const std::string& program, const std::string& arguments, const char* folder,
                   Job* job = nullptr, HANDLE token = nullptr);
    ~StartedProcess();
    StartedProcess(const StartedProcess&) = delete;
    StartedProcess& operator=(const StartedProcess&) = delete;

    bool Started() const { return failure_.empty(); }
    // Why it did not start, with what it takes to understand it: the command
    // and its length, how long CreateProcessW took, the error's number and
    // text, and what the folder and the program are on disk. "" when it started.
    const std::string& Failure() const { return failure_; }
    DWORD Id() const { return process_.dwProcessId; }
    DWORD ThreadId() const { return process_.dwThreadId; }
    HANDLE Handle() const { return process_.hProcess; }
    // The exit code, waiting for the end at most `timeout` ms; 259 (still
    // active) when it did not end in time or never started.
    DWORD ExitCode(DWORD timeout = WindowTimeout()) const;

private:
    PROCESS_INFORMATION process_ = {};
    std::string failure_;
};

// HD.EXE (or `program`, one built like it) started as autorun starts it from
// a disc: its current folder the root of the medium's drive, `root` such as
// "N:\\". `dialog` is its dialog once visible, nullptr when it did not come up
// within WindowTimeout(); a failed start is a test failure that says why.
class Installer : public StartedProcess {
public:
    explicit Installer(const std::string& root, Job* job = nullptr, const std::string& program = "");

    HWND Control(int id) const { return GetDlgItem(dialog, id); }

    HWND dialog = nullptr;
};
