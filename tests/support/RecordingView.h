#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "logic/view/InstallerView.h"
#include "support/Text.h"

// An InstallerView that records every call in order, as UTF-8 text, e.g.
// "DisableButton 2" or "ShowMessage <caption>|<text>". Log texts are also
// kept on their own for the copy tests; the values shown as progress only
// there. A question is answered from a script: `onAsk` gets how many have
// been asked, this one included; without it every answer is Cancel.
class RecordingView : public InstallerView {
public:
    std::vector<std::string> calls;
    std::string log;
    int lines = 0;
    std::function<void(int lines)> onLine;  // runs after each line break is logged
    std::string destination;  // what ReadDestination hands out
    int asked = 0;
    std::function<bool(int asked)> onAsk;
    std::vector<std::pair<ULONGLONG, ULONGLONG>> progress;  // done and total, as shown

    void AppendLogText(const wchar_t* text) override {
        log += Narrow(text);
        calls.push_back("AppendLogText " + Narrow(text));
        if (Narrow(text) != "\r\n") return;
        ++lines;
        if (onLine) onLine(lines);
    }
    void SetDestinationReadOnly() override { calls.push_back("SetDestinationReadOnly"); }
    void DisableButton(int identifier) override {
        calls.push_back("DisableButton " + std::to_string(identifier));
    }
    void ClearLog() override {
        log.clear();
        calls.push_back("ClearLog");
    }
    void Thaw() override { calls.push_back("Thaw"); }
    void ReadDestination(ShortPath& buffer) override {
        // The dialog reads at most 259 UTF-16 units; so does this fake.
        const std::wstring text = Wide(destination).substr(0, 259);
        text.copy(buffer.text, text.size());
        buffer.text[text.size()] = L'\0';
        calls.push_back("ReadDestination");
    }
    void ShowMessage(const wchar_t* text, const wchar_t* caption) override {
        calls.push_back("ShowMessage " + Narrow(caption) + "|" + Narrow(text));
    }
    void EndWithResult(int result) override {
        calls.push_back("EndWithResult " + std::to_string(result));
    }
    bool AskRetry(const wchar_t* text, const wchar_t* caption) override {
        calls.push_back("AskRetry " + Narrow(caption) + "|" + Narrow(text));
        ++asked;
        return onAsk && onAsk(asked);
    }

    void StartProgress() override { calls.push_back("StartProgress"); }
    void ShowProgress(ULONGLONG done, ULONGLONG total) override { progress.emplace_back(done, total); }
    void EndProgress() override { calls.push_back("EndProgress"); }

    // "<last> of <total>" after values that each rose, up to one total at
    // most; otherwise what was wrong. "none" when none was shown.
    std::string Progress() const {
        if (progress.empty()) return "none";
        for (size_t i = 0; i < progress.size(); ++i) {
            const std::string at = " at value " + std::to_string(i) + ": " + std::to_string(progress[i].first);
            if (progress[i].second != progress[0].second) return "another total" + at;
            if (progress[i].first > progress[i].second) return "past the total" + at;
            if (i > 0 && progress[i].first <= progress[i - 1].first) return "did not rise" + at;
        }
        return std::to_string(progress.back().first) + " of " + std::to_string(progress.back().second);
    }

    // Calls other than log appends: the install sequence's own steps.
    std::vector<std::string> Steps() const {
        std::vector<std::string> steps;
        for (const std::string& call : calls) {
            if (call.rfind("AppendLogText ", 0) != 0) steps.push_back(call);
        }
        return steps;
    }
};
