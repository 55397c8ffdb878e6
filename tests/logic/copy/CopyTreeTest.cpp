// The copy stage as a whole (logic/copy/CopyTree.h): the plan carried out,
// whole or not at all, and what each of its parts does seen through it.
#include "CopyScene.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "logic/plan/CopyPlan.h"
#include "logic/copy/CopyTree.h"
#include "logic/view/ProgressMeter.h"
#include "support/DialogTexts.h"
#include "support/FileTree.h"
#include "support/RecordingView.h"

// Wine lists folders sorted by name with "." and ".." first; the tests that
// depend on listing order say so.

namespace {

TEST_F(CopyTreeTest, CopiesTheWholeTreeAndLogsEveryFileInCopyOrder) {
    Put("a.txt");
    Put("data\\b.bin");
    Put("data\\deep\\c.txt");
    Put("Документы\\Справка.txt");
    // Named as the installer names its own work folder and the files in it.
    for (const char* own : {"~hdwork\\list", "~hdwork\\t0", "data\\~hdwork\\k0", "data\\~hdcopy.tmp"}) Put(own);
    MakeFolders(source + "\\empty");

    ASSERT_TRUE(Copy());

    const Files expected = {"a.txt",         "data\\b.bin",  "data\\deep\\c.txt", "data\\~hdcopy.tmp", "data\\~hdwork\\k0",
                            "~hdwork\\list", "~hdwork\\t0", "Документы\\Справка.txt"};
    EXPECT_EQ(expected, ListFiles(destination));
    for (const std::string& file : expected) EXPECT_EQ("data:" + file, Installed(file));
    EXPECT_TRUE(IsFolder(destination + "\\empty"));
    EXPECT_EQ(LogOf(expected), view.log);
    EXPECT_EQ(Counted(expected), view.Progress());
}

// A file's line comes once it is there whole under its own name, and with
// nothing else beside it: its temporary copy was in the installer's work
// folder, which is gone once the install is complete.
TEST_F(CopyTreeTest, AFileIsLoggedOnceItIsInstalledWhole) {
    Put("a.txt", "first");
    Put("b.txt", "second");
    Files seen;
    view.onLine = [&](int lines) {
        const std::string file = lines == 1 ? "a.txt" : "b.txt";
        EXPECT_EQ((lines == 1 ? "first:" : "second:") + file, Installed(file)) << lines;
        seen.clear();
        for (const std::string& there : ListFiles(destination)) {
            if (there.rfind("~hdwork\\", 0) != 0) seen.push_back(there);
        }
    };
    ASSERT_TRUE(Copy());
    EXPECT_EQ((Files{"a.txt", "b.txt"}), seen);
    EXPECT_EQ((Files{"a.txt", "b.txt"}), ListFiles(destination));
    const std::vector<std::string> expected = {"AppendLogText " + destination + "\\a.txt", "AppendLogText \r\n",
                                               "AppendLogText " + destination + "\\b.txt", "AppendLogText \r\n"};
    EXPECT_EQ(expected, view.calls);
}

TEST_F(CopyTreeTest, LeavesOutTheStartUpFilesAtEveryDepthInAnyCase) {
    for (const char* name : {"AUTORUN.INF", "Start.EXE", "HD.exe", "sub\\autorun.inf",
                             "sub\\START.exe", "sub\\deep\\hd.EXE"}) {
        Put(name);
    }
    // Near misses are product files.
    for (const char* name : {"st-art.exe", "hd.exe.bak", "autorun.inf.txt", "sub\\hd2.exe",
                             "other\\start.exe\\inside.txt"}) {
        Put(name);
    }

    ASSERT_TRUE(Copy());
    const Files expected = {"autorun.inf.txt", "hd.exe.bak", "other\\start.exe\\inside.txt",
                            "st-art.exe", "sub\\hd2.exe"};
    EXPECT_EQ(expected, ListFiles(destination));
    EXPECT_EQ(std::string::npos, view.log.find("autorun.inf\r\n"));
    EXPECT_EQ(5, std::count(view.log.begin(), view.log.end(), '\n'));
}

TEST_F(CopyTreeTest, CopiedFilesArriveNormalAndWritable) {
    Put("readonly.txt");
    Put("hidden.txt");
    SetAttributes(source + "\\readonly.txt", FILE_ATTRIBUTE_READONLY);
    SetAttributes(source + "\\hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(Copy());
    for (const char* name : {"readonly.txt", "hidden.txt"}) {
        const std::string path = destination + "\\" + name;
        const DWORD attributes = Attributes(path);
        EXPECT_EQ(0u, attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN))
            << name << " has attributes 0x" << std::hex << attributes;
        HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, file) << name << ": error " << GetLastError();
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
}

TEST_F(CopyTreeTest, StopsAtTheFirstFileThatCannotBeCopied) {
    // Listing order (sorted under Wine): a.txt, b\1..4.txt, c.txt, d\e.txt.
    Put("a.txt");
    for (const char* name : {"b\\1.txt", "b\\2.txt", "b\\3.txt", "b\\4.txt"}) Put(name);
    Put("c.txt");
    Put("d\\e.txt");
    // A folder where the third file of b should go: its copy cannot take its place.
    MakeFolders(destination + "\\b\\3.txt");

    EXPECT_FALSE(Copy());
    const Files copied = {"a.txt", "b\\1.txt", "b\\2.txt"};
    EXPECT_EQ(Files{}, ListFiles(destination)) << "the cancelled install was not undone";
    EXPECT_TRUE(IsFolder(destination + "\\b\\3.txt"));
    EXPECT_EQ(LogOf(copied), view.log);
    // b\3.txt's bytes were written before they could not be put in place:
    // the progress never goes back.
    EXPECT_EQ(Counted({"a.txt", "b\\1.txt", "b\\2.txt", "b\\3.txt"}), view.Progress());
    EXPECT_FALSE(Exists(destination + "\\d"));
}

// A file that reads shorter than its folder listed it (under Wine a scratch
// can look like the file's end) is no copy: it is asked about, and nothing
// of it is left.
TEST_F(CopyTreeTest, AFileShorterThanListedIsAFailedCopy) {
    Put("a.txt");
    Put("b.txt");
    CopyPlan plan;
    ASSERT_TRUE(plan.Make(view, Wide(source).c_str(), Wide(destination).c_str()));
    WriteFile(source + "\\b.txt", "cut");
    ProgressMeter progress(view, kTotal);
    EXPECT_FALSE(CopyTree(view, plan, progress, true));
    EXPECT_EQ(1, view.asked);
    EXPECT_FALSE(Exists(destination)) << "the cancelled install was not undone";
}

TEST_F(CopyTreeTest, EmptySourceCopiesNothingButCreatesTheDestination) {
    MakeFolders(source);
    destination = scratch / "new\\nested\\dest";
    EXPECT_TRUE(Copy());
    EXPECT_TRUE(IsFolder(destination));
    EXPECT_EQ("", view.log);
}

// A folder that cannot be listed, or created, is asked about; Cancel stops
// the copy, Retry once the fault is mended goes on where it stopped.
TEST_F(CopyTreeTest, AFolderThatCannotBeListedOrCreatedIsAskedAbout) {
    source = scratch / "missing";
    EXPECT_FALSE(Copy());
    EXPECT_EQ("", view.log);
    ASSERT_EQ(1, view.asked);
    EXPECT_EQ("AskRetry " + std::string(shown::kCaption) + "|" + shown::ListingFailed(source, "<reason>\r\n"),
              shown::MarkReason(view.calls.back()));

    // Half-way: "b", held open by another program without sharing, cannot
    // be listed (listing order under Wine: ".", "..", a.txt, b, c.txt). Let
    // go, Retry lists it. The tree is walked before anything is copied, so
    // its box comes first. A file b\1.txt held so cannot be read: its box
    // comes after a.txt's line, and Retry reads it again, and what follows
    // it, as it does after a folder in the way of the file, found only
    // once b\1.txt has been read and the reader has gone on. So does the box
    // for a file in the way of the folder b.
    source = scratch / "cd";
    Put("a.txt");
    Put("b\\1.txt");
    Put("c.txt");
    const std::string b = source + "\\b";
    const struct {
        bool mend;
        Files copied;
        const char* box;  // listing or folder
    } cases[] = {{false, {}, "listing"},       {true, {"a.txt", "b\\1.txt", "c.txt"}, "listing"},
                 {false, {"a.txt"}, "file"},    {true, {"a.txt", "b\\1.txt", "c.txt"}, "file"},
                 {false, {"a.txt"}, "target"},  {true, {"a.txt", "b\\1.txt", "c.txt"}, "target"},
                 {false, {"a.txt"}, "folder"},  {true, {"a.txt", "b\\1.txt", "c.txt"}, "folder"}};
    for (const auto& c : cases) {
        const bool listing = std::string(c.box) == "listing", file = std::string(c.box) == "file";
        const bool target = std::string(c.box) == "target", held = listing || file;
        RemoveTree(destination);
        // A file where the folder b must be made, or a folder where b\1.txt must go.
        if (target) {
            MakeFolders(destination + "\\b\\1.txt");
        } else if (!held) {
            WriteFile(destination + "\\b", "in the way");
        }
        view = RecordingView();
        HANDLE holder = held ? CreateFileW(Wide(file ? b + "\\1.txt" : b).c_str(), GENERIC_READ, 0, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                             : INVALID_HANDLE_VALUE;
        ASSERT_TRUE(!held || holder != INVALID_HANDLE_VALUE) << GetLastError();
        view.onAsk = [&](int) {
            if (!c.mend) return false;
            if (held) {
                CloseHandle(holder);
                holder = INVALID_HANDLE_VALUE;
            } else if (target) {
                RemoveTree(destination + "\\b\\1.txt");
            } else {
                DeleteFileW(Wide(destination + "\\b").c_str());
            }
            return true;
        };
        EXPECT_EQ(c.mend, Copy()) << c.box;
        // Cancelled, the install is undone.
        Files there = c.mend ? c.copied : Files{};
        if (!held && !target && !c.mend) there.push_back("b");  // the file in the way stays
        EXPECT_EQ(there, ListFiles(destination)) << c.box;
        EXPECT_EQ(LogOf(c.copied), view.log) << c.box;
        // A file that was written whole and then could not be put in place counts.
        Files counted = c.copied;
        if (target && !c.mend) counted.push_back("b\\1.txt");
        EXPECT_EQ(Counted(counted), view.Progress()) << c.box;
        ASSERT_EQ(1, view.asked) << c.box;
        const std::string box =
            listing ? shown::ListingFailed(b, "<reason>\r\n")
            : file || target ? shown::CopyFailed(b + "\\1.txt", destination + "\\b\\1.txt", "<reason>\r\n")
                    : shown::FolderFailed(destination + "\\b", "<reason>\r\n");
        EXPECT_EQ(1, std::count_if(view.calls.begin(), view.calls.end(), [&](const std::string& call) {
                      return shown::MarkReason(call) == "AskRetry " + std::string(shown::kCaption) + "|" + box;
                  }))
            << c.box;
        if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    }
}

// Each folder in the order of its names' code units, a CD's order, whatever
// order Wine lists it in (without regard to case): capitals before small
// letters, Cyrillic after Latin, "Ё" before "А".
TEST_F(CopyTreeTest, EachFolderIsCopiedInTheOrderOfItsNamesCodeUnits) {
    const Files order = {"Video\\B.bin", "Video\\a.bin", "_notes.txt", "data\\Z.txt", "data\\x.txt",
                         "Ёлка.txt",     "Карты\\1.map", "архив.dat"};
    for (const std::string& file : order) Put(file);
    ASSERT_TRUE(Copy());
    EXPECT_EQ(LogOf(order), view.log);
}

// Through the read-ahead, which holds 4 MB: files of every size around its
// pieces of 128 KB, one larger than all of it, and more files than it queues
// (256), byte for byte and in order.
TEST_F(CopyTreeTest, FilesOfEverySizeArriveByteForByteThroughTheReadAhead) {
    Files expected;
    const DWORD sizes[] = {0, 1, 131071, 131072, 131073, (5u << 20) + 7};
    for (DWORD size : sizes) {
        std::string bytes(size, '\0');
        for (DWORD i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + size);
        const std::string name = "sizes\\" + std::to_string(1000000000u + size) + ".bin";
        WriteFile(source + "\\" + name, bytes);
        expected.push_back(name);
    }
    for (int i = 0; i < 300; ++i) {
        const std::string name = "small\\" + std::to_string(1000 + i) + ".txt";
        Put(name, std::to_string(i));
        expected.push_back(name);
    }
    ASSERT_TRUE(Copy());
    EXPECT_EQ(LogOf(expected), view.log);
    for (const std::string& file : expected) {
        EXPECT_TRUE(ReadFile(source + "\\" + file) == Installed(file)) << file << " differs";
    }
}

TEST_F(CopyTreeTest, OverwritesExistingFilesAndKeepsStaleOnes) {
    Put("product.dat", "new");
    WriteFile(destination + "\\product.dat", "old contents that are longer");
    WriteFile(destination + "\\stale.dat", "stale");

    ASSERT_TRUE(Copy());
    EXPECT_EQ("new:product.dat", Installed("product.dat"));
    EXPECT_EQ("stale", Installed("stale.dat"));

    // A second installation over the first one replaces it again.
    Put("product.dat", "newer");
    SetAttributes(source + "\\product.dat", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(Copy());
    ASSERT_TRUE(Copy());
    EXPECT_EQ("newer:product.dat", Installed("product.dat"));
}

TEST_F(CopyTreeTest, DestinationInsideTheSourceIsNotCopiedIntoItself) {
    Put("a.txt");
    Put("out\\b.txt");
    Put("z\\c.txt");
    // The destination lies below a source folder, spelled in another case and
    // with a doubled separator.
    const std::string inside = source + "\\OUT\\\\Inst";

    EXPECT_TRUE(Copy(inside));
    const Files expected = {"a.txt", "out\\b.txt", "z\\c.txt"};
    EXPECT_EQ(expected, ListFiles(source + "\\out\\inst"));
    EXPECT_EQ(3, std::count(view.log.begin(), view.log.end(), '\n'));
}

TEST_F(CopyTreeTest, DestinationEqualToTheSourceIsAFailedCopyThatTouchesNothing) {
    Put("a.txt", "original");
    EXPECT_FALSE(Copy(scratch / "CD"));
    EXPECT_EQ("original:a.txt", ReadFile(source + "\\a.txt"));
    EXPECT_EQ(Files{"a.txt"}, ListFiles(source));
    EXPECT_EQ("", view.log);
}

TEST_F(CopyTreeTest, AnEntryWhosePathDoesNotFitIsAFailedCopy) {
    // Destination paths of exactly 259 characters still fit; 260 do not.
    const int room = 259 - static_cast<int>(destination.size()) - 1;
    ASSERT_GT(room, 10);
    const std::string fits(room, 'f');
    Put("a\\" + std::string(room - 2, 'g'));  // a\ggg... also 259 characters
    Put(fits);
    ASSERT_TRUE(Copy());
    EXPECT_EQ(2, std::count(view.log.begin(), view.log.end(), '\n'));

    Put(fits + "x");
    view = RecordingView();
    EXPECT_FALSE(Copy());
    EXPECT_EQ(std::string::npos, view.log.find(fits + "x"));
}

// Windows makes no folder longer than 247 units (Wine does): one the copy
// would have to make is a step that fails, one that is there already is not.
TEST_F(CopyTreeTest, AFolderPathOver247UnitsIsNotMade) {
    const std::string folder = std::string(247 - destination.size() - 1, 'f');
    Put(folder + "\\a.txt");
    Put(folder + "g\\b.txt");
    EXPECT_FALSE(Copy());
    EXPECT_FALSE(Exists(destination)) << "the cancelled install was not undone";
    ASSERT_EQ(1, view.asked);
    wchar_t reason[512];
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILENAME_EXCED_RANGE, 0,
                   reason, 512, nullptr);
    const std::string box = view.calls.back();
    EXPECT_EQ("AskRetry " + std::string(shown::kCaption) + "|" +
                  shown::FolderFailed(destination + "\\" + folder + "g", "<reason>\r\n"),
              shown::MarkReason(box));
    EXPECT_NE(std::string::npos, box.find(Narrow(reason).substr(0, 10))) << "not the reason of a path too long";

    MakeFolders(destination + "\\" + folder + "g");  // as Wine can
    view = RecordingView();
    EXPECT_TRUE(Copy());
    EXPECT_EQ(0, view.asked);
    // Copied there under a temporary name that is past MAX_PATH.
    EXPECT_EQ("data:" + folder + "g\\b.txt", Installed(folder + "g\\b.txt"));
}

// Cancelled at a box, an install is undone: what it found is there as it
// was, entry for entry, byte for byte, marks and times included, the user's
// own files too; where it made the destination two folders deep, both go.
// An earlier file whose replace fails (held by a program) stays as it was.
TEST_F(CopyTreeTest, ACancelledInstallLeavesTheDestinationAsItFoundIt) {
    for (const char* file : {"a.txt", "sub\\b.txt", "sub\\new\\c.txt", "z\\last.txt"}) Put(file);
    const struct {
        const char* name;
        const char* destination;
        bool earlier;
        const char* held;  // the file whose box is cancelled: the disc's, or the destination's
    } cases[] = {
        {"over an earlier installation", "earlier\\ZelOr", true, "cd\\z\\last.txt"},
        {"into a new folder two deep", "new\\deeper\\ZelOr", false, "cd\\z\\last.txt"},
        {"an earlier file that cannot be replaced", "held\\ZelOr", true, "held\\ZelOr\\sub\\b.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        destination = scratch / c.destination;
        if (c.earlier) {
            WriteFile(destination + "\\a.txt", "earlier a");
            SetAttributes(destination + "\\a.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
            WriteFile(destination + "\\sub\\b.txt", "earlier b, longer than the new one");
            SetAttributes(destination + "\\sub\\b.txt", FILE_ATTRIBUTE_READONLY);
            WriteFile(destination + "\\saves\\game.sav", "the user's");
            WriteFile(destination + "\\sub\\settings.ini", "the user's");
        }
        std::map<std::string, std::string> before, after;
        Snapshot(scratch.Path(), {source}, before, true);
        HANDLE held = CreateFileW(Wide(scratch / c.held).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held) << GetLastError();
        view = RecordingView();
        EXPECT_FALSE(Copy());
        CloseHandle(held);
        EXPECT_EQ(1, view.asked);
        Snapshot(scratch.Path(), {source}, after, true);
        EXPECT_EQ(before, after);
    }
}

// A reinstall over a file that something made read-only, hidden or system:
// it is replaced, and the new file is normal (Windows refuses to rename over
// a read-only file, so its marks go then and the rename is tried again; Wine,
// run as root, renames over it anyway). A copy that fails leaves it as it
// was, marks and all.
TEST_F(CopyTreeTest, AProtectedTargetIsReplacedAndAFailedCopyLeavesItAsItWas) {
    Put("product.dat", "new");
    const std::string target = destination + "\\product.dat";
    WriteFile(target, "an earlier installation's");
    SetAttributes(target, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    // Held open without sharing, the source cannot be read: the copy fails.
    HANDLE held = CreateFileW(Wide(source + "\\product.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held) << GetLastError();
    EXPECT_FALSE(Copy());
    CloseHandle(held);
    EXPECT_EQ(1, view.asked);
    EXPECT_EQ("an earlier installation's", ReadFile(target));
    EXPECT_EQ(Files{"product.dat"}, ListFiles(destination)) << "the failed copy left something";
    const DWORD marks = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    EXPECT_EQ(marks, Attributes(target) & marks) << "attributes 0x" << std::hex << Attributes(target);

    SetAttributes(target, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    view = RecordingView();
    EXPECT_TRUE(Copy());
    EXPECT_EQ("new:product.dat", ReadFile(target));
    EXPECT_EQ(0u, Attributes(target) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
}

}  // namespace
