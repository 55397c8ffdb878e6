#pragma once

// The scene of the copy stage's tests: a scratch medium and destination,
// the recording view, and the copy of one into the other.

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logic/copy/CopyTree.h"
#include "logic/view/ProgressMeter.h"
#include "support/FileTree.h"
#include "support/RecordingView.h"

using Files = std::vector<std::string>;

class CopyTreeTest : public ::testing::Test {
protected:
    ScratchFolder scratch{"copy-tree"};
    std::string source = scratch / "cd";
    std::string destination = scratch / "dest";
    RecordingView view;
    // More than any test copies: the progress shows what the copy counted.
    static constexpr ULONGLONG kTotal = 1ull << 40;

    bool Copy(const std::string& into = "") {
        ProgressMeter progress(view, kTotal);
        return CopyTree(view, Wide(source).c_str(), Wide(into.empty() ? destination : into).c_str(), progress);
    }
    void Put(const std::string& relative, const std::string& contents = "data") {
        WriteFile(source + "\\" + relative, contents + ":" + relative);
    }
    std::string Installed(const std::string& relative) const {
        return ReadFile(destination + "\\" + relative);
    }
    // The progress a copy of `relative` files, made by Put, must end at.
    std::string Counted(const Files& relative) const {
        ULONGLONG bytes = 0;
        for (const std::string& file : relative) bytes += ("data:" + file).size();
        return std::to_string(bytes) + " of " + std::to_string(kTotal);
    }
    // The log lines a copy of `relative` files (in this order) must produce.
    std::string LogOf(const Files& relative) const {
        std::string log;
        for (const std::string& file : relative) log += destination + "\\" + file + "\r\n";
        return log;
    }
};
