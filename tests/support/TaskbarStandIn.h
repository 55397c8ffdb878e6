#pragma once

#include <windows.h>

#include <string>

#include "support/Registry.h"

// The recording stand-in for the shell's taskbar list (TaskbarRecorder.cpp),
// registered in place of Wine's own for as long as the object lives, writing
// its record to `record`: the programs this one starts afterwards, which get
// its environment, record there what they do to their taskbar buttons.
class TaskbarStandIn {
public:
    explicit TaskbarStandIn(const std::string& record);
    ~TaskbarStandIn();

    // "" once registered, else what failed.
    const std::string& Failure() const { return server_.Failure(); }
    // The progress states set so far, in order, a state set again in a row
    // once: "indeterminate normal error normal none".
    std::string States() const;
    // What is wrong with how the button of `window` showed progress:
    // "" when each object was initialised (HrInit) before anything else and
    // released in the end, nothing but progress was set, on that window
    // alone, no value was less than the one before, at most ten came in any
    // second, and the last was `total` of `total`.
    std::string Faults(HWND window, ULONGLONG total) const;
    // How many objects were made.
    int Objects() const;
    // For a failure's message: the record as it stands, and the server that
    // the merged classes key names for the class now.
    std::string Diagnosis() const;

private:
    std::string record_;
    StandInServer server_;
};
