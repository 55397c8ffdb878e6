// The recovery of an ended install (logic/copy/EndedInstall.h), run as the
// install runs it: before the copy into the same destination.
#include "CopyScene.h"

#include <windows.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "logic/copy/CopyTree.h"
#include "logic/copy/EndedInstall.h"
#include "logic/plan/CopyPlan.h"
#include "logic/view/ProgressMeter.h"
#include "support/FileTree.h"
#include "support/RecordingView.h"

namespace {

class EndedInstallTest : public CopyTreeTest {
protected:
    // The next install, as RunInstall carries it out: the plan, what an
    // ended installer kept put back, then the copy.
    bool Install() {
        CopyPlan plan;
        if (!plan.Make(view, Wide(source).c_str(), Wide(destination).c_str())) return false;
        ProgressMeter progress(view, plan.Bytes());
        PutBackLeftEarlierFiles(plan.Destination(), plan);
        return CopyTree(view, plan, progress, true);
    }
};

// What an installer that was ended had kept aside is put back before the
// next install writes anything: a file that another took the name of comes
// back over it, bytes, time and marks; one that only got its second name
// loses that name. A kept file the list does not name (its line cut short by
// a power cut) is given up. Nothing that is not the installer's is touched: a
// folder of its work folder's name without a list, a line that leads out of
// the destination, the disc's own files of such names, files named like
// temporary copies.
TEST_F(EndedInstallTest, WhatAnEndedInstallerKeptIsPutBackAndNothingElseIsTouched) {
    Put("other.txt");
    Put("~hdwork2\\disc.txt");
    const std::string work = destination + "\\~hdwork";
    WriteFile(destination + "\\data\\a.txt", "the ended install's new a");
    WriteFile(work + "\\k0", "earlier a");
    SetAttributes(work + "\\k0", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    WriteFile(destination + "\\data\\c.txt", "earlier c, never replaced");
    SetAttributes(destination + "\\data\\c.txt", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(CreateHardLinkW(Wide(work + "\\k3").c_str(), Wide(destination + "\\data\\c.txt").c_str(), nullptr));
    WriteFile(work + "\\k1", "not to go anywhere");
    WriteFile(work + "\\k2", "given up");
    const std::wstring list = L"\xFEFFHD.EXE kept files\r\n0\t3\tdata\\a.txt\r\n1\t20\t..\\outside.txt\r\n"
                              L"3\t21\tdata\\c.txt\r\n2\t20\tdata\\b";
    WriteFile(work + "\\list", std::string(reinterpret_cast<const char*>(list.data()), list.size() * 2));
    const std::map<std::string, std::string> notOurs = {{"~hdwork1\\k0", "no list beside it"},
                                                        {"~hdwork2\\list", "the disc's folder's"},
                                                        {"data\\~hdcopy.tmp", "the user's"}};
    for (const auto& file : notOurs) WriteFile(destination + "\\" + file.first, file.second);
    WriteFile(destination + "\\~hdwork2\\k0", "the disc's folder's");
    std::map<std::string, std::string> kept;
    Snapshot(work, {}, kept, true);

    ASSERT_TRUE(Install());
    std::map<std::string, std::string> back;
    Snapshot(destination + "\\data", {}, back, true);
    EXPECT_EQ(kept[work + "\\k0"], back[destination + "\\data\\a.txt"]);
    EXPECT_EQ("earlier c, never replaced", Installed("data\\c.txt"));
    EXPECT_EQ(DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE}, Attributes(destination + "\\data\\c.txt"));
    EXPECT_FALSE(Exists(work)) << "the work folder was left";
    EXPECT_FALSE(Exists(scratch / "outside.txt"));
    for (const auto& file : notOurs) EXPECT_EQ(file.second, Installed(file.first));
    EXPECT_EQ("data:~hdwork2\\disc.txt", Installed("~hdwork2\\disc.txt"));
}

}  // namespace
