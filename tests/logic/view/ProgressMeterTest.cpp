// The progress meter: what the dialog is shown as a copy reports its pieces.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logic/view/ProgressMeter.h"
#include "support/RecordingView.h"

namespace {

// What the meter shows as a copy reports its pieces (a number) and the files
// it starts over (a number after "-"): each value higher than the last, what
// was started over counted again only past where it had got, never more than
// the total.
TEST(ProgressMeterTest, ShowsEachByteOnceAndNeverPastTheTotal) {
    const struct {
        const char* name;
        std::vector<long long> steps;
        const char* shown;
    } cases[] = {
        {"pieces add up", {30, 20, 50}, "0 30 50 100"},
        {"a file started over", {30, 20, -20, 30, 20}, "0 30 50 60 80"},
        {"a file that failed after its only piece", {20, -20, 20, 80}, "0 20 100"},
        {"more than counted", {60, 60, 10}, "0 60 100"},
    };
    for (const auto& c : cases) {
        RecordingView view;
        ProgressMeter meter(view, 100);
        for (long long step : c.steps) step < 0 ? meter.StartOver(-step) : meter.Copied(step);
        std::string shown;
        for (const auto& value : view.progress) {
            shown += (shown.empty() ? "" : " ") + std::to_string(value.first);
            EXPECT_EQ(100u, value.second) << c.name;
        }
        EXPECT_EQ(c.shown, shown) << c.name;
    }
}

}  // namespace
