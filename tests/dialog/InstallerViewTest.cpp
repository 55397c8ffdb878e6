// The InstallerView operations carried out on the real dialog, in-process: the
// dialog runs modally from the installer's own resources, and a thread timer
// (dispatched by the dialog's modal loop) runs one scenario on it and ends it.
#include <windows.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "dialog/InstallerDialog.h"
#include "logic/view/RetryBoxes.h"
#include "support/DialogHarness.h"
#include "support/GuardedPath.h"
#include "support/Text.h"

namespace {

using Scenario = std::function<void(InstallerDialog& view, HWND dialog)>;

const int kEndedByScenario = 7;

// Runs `scenario` on a live dialog; the dialog is ended through EndWithResult.
void OnLiveDialog(const Scenario& scenario) {
    InstallerDialog view;
    const INT_PTR result = RunModalWithTicks([&] { return view.RunModal(nullptr); }, 50, 200,
                                             [&](HWND dialog) {
                                                 scenario(view, dialog);
                                                 view.EndWithResult(kEndedByScenario);
                                                 return true;
                                             });
    EXPECT_EQ(kEndedByScenario, result);
}

// `text` `count` times.
std::string Repeated(const std::string& text, int count) {
    std::string repeated;
    for (int i = 0; i < count; ++i) repeated += text;
    return repeated;
}

DWORD WINAPI RunWork(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}

// Runs `work` on a thread of its own, as the install runs, while this thread,
// the dialog's, goes on dispatching its messages until the work is done.
void OnAnotherThread(const std::function<void()>& work) {
    HANDLE thread = CreateThread(nullptr, 0, RunWork, const_cast<std::function<void()>*>(&work), 0, nullptr);
    ASSERT_NE(nullptr, thread) << GetLastError();
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    CloseHandle(thread);
}

class InstallerViewTest : public ::testing::Test {
protected:
    void SetUp() override { g_moduleInstance = GetModuleHandleW(nullptr); }
};

// The log is handed to its control in batches; what it finally holds must be
// exactly what was appended, in order, as if each text had gone in alone, and
// far past the edit control's default limit of about 30,000 characters.
// Appended from the install's thread, as the copy appends.
TEST_F(InstallerViewTest, TheLogEndsHoldingExactlyWhatWasAppended) {
    std::string appended;
    OnLiveDialog([&](InstallerDialog& view, HWND dialog) {
        OnAnotherThread([&] {
            view.ClearLog();
            for (int i = 0; i < 3000; ++i) {
                const std::string path = "C:\\ZelOr\\данные\\Ελληνικά\\説明" + std::to_string(i) + ".dat";
                view.AppendLogText(Wide(path).c_str());
                view.AppendLogText(L"\r\n");
                appended += path + "\r\n";
                if (i == 1500) {
                    // Longer than anything gathered at once: handed over whole, never cut.
                    const std::string longText(20000, 'L');
                    view.AppendLogText(Wide(longText).c_str());
                    appended += longText;
                }
            }
            view.EndWithResult(kEndedByScenario);
        });
        EXPECT_EQ(appended, TextOf(GetDlgItem(dialog, 1003)));
    });
}

// Longer than the interval between hand-overs: 50 ms, or nine times what the
// last one took, which under Wine is a few milliseconds.
constexpr DWORD kPauseMs = 300;

TEST_F(InstallerViewTest, ALineAfterAPauseShowsAtOnceAndAQuickOneJoinsTheNextBatch) {
    OnLiveDialog([](InstallerDialog& view, HWND dialog) {
        HWND log = GetDlgItem(dialog, 1003);
        view.ClearLog();
        Sleep(kPauseMs);
        view.AppendLogText(L"first\r\n");
        EXPECT_EQ("first\r\n", TextOf(log));
        view.AppendLogText(L"second\r\n");
        EXPECT_EQ("first\r\n", TextOf(log));
        Sleep(kPauseMs);
        view.AppendLogText(L"third\r\n");
        EXPECT_EQ("first\r\nsecond\r\nthird\r\n", TextOf(log));
    });
}

// A box the dialog shows while a scenario runs, answered by a thread timer
// that the box's own modal loop dispatches: what the log showed under it,
// whether the dialog owned it, which of its buttons there were.
struct Box {
    std::string caption;
    UINT answer;  // the command posted to it: IDOK, IDRETRY, IDCANCEL, or WM_CLOSE
    HWND dialog = nullptr;
    std::string logUnderIt = "<box never seen>";
    bool ownedByTheDialog = false;
    bool retryAndCancel = false;
};
// Only the dialog's thread runs this timer, and it looks only among that
// thread's windows: a box shown by any other thread is never seen.
Box* g_box = nullptr;

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
    wchar_t className[16] = L"";
    GetClassNameW(window, className, 16);
    if (window == g_box->dialog || lstrcmpW(className, L"#32770") != 0 || TextOf(window) != g_box->caption) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void CALLBACK AnswerTheBox(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
    if (box == nullptr) return;
    KillTimer(nullptr, timer);
    g_box->logUnderIt = TextOf(GetDlgItem(g_box->dialog, 1003));
    g_box->ownedByTheDialog = GetWindow(box, GW_OWNER) == g_box->dialog;
    g_box->retryAndCancel = GetDlgItem(box, IDRETRY) != nullptr && GetDlgItem(box, IDCANCEL) != nullptr &&
                            GetDlgItem(box, IDOK) == nullptr;
    if (g_box->answer == WM_CLOSE) {
        PostMessageW(box, WM_CLOSE, 0, 0);
    } else {
        PostMessageW(box, WM_COMMAND, g_box->answer, 0);
    }
}

// Answers the next box of this thread captioned `box.caption` as `box.answer` says.
void AnswerNextBox(Box& box, HWND dialog) {
    box.dialog = dialog;
    g_box = &box;
    SetTimer(nullptr, 0, 50, AnswerTheBox);
}

// Both boxes the dialog shows, the information box and the question after a
// failed step, are owned by it, on its own thread whichever thread asks,
// and come after the lines gathered so far. Of the question's answers only
// Retry retries; Cancel, and the box's close button (as Escape), give Cancel.
TEST_F(InstallerViewTest, ItsBoxesAreItsOwnAndComeAfterTheGatheredLines) {
    const struct {
        bool question;
        UINT answer;
        bool retry;
    } cases[] = {{false, IDOK, false}, {true, IDRETRY, true}, {true, IDCANCEL, false}, {true, WM_CLOSE, false}};
    for (bool fromAnotherThread : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(c.answer) + (fromAnotherThread ? ", asked from another thread" : ""));
            Box box = {"Установка программы Зеларит:Орвента", c.answer};
            bool retry = !c.retry;
            OnLiveDialog([&](InstallerDialog& view, HWND dialog) {
                const auto ask = [&] {
                    view.ClearLog();
                    Sleep(kPauseMs);
                    view.AppendLogText(L"shown\r\n");
                    view.AppendLogText(L"gathered\r\n");
                    if (c.question) {
                        retry = view.AskRetry(L"Не удалось скопировать файл", L"Установка программы Зеларит:Орвента");
                    } else {
                        view.ShowMessage(L"Текст", L"Установка программы Зеларит:Орвента");
                        retry = false;
                    }
                };
                AnswerNextBox(box, dialog);
                if (fromAnotherThread) {
                    OnAnotherThread(ask);
                } else {
                    ask();
                }
            });
            EXPECT_EQ(c.retry, retry);
            EXPECT_EQ("shown\r\ngathered\r\n", box.logUnderIt);
            EXPECT_TRUE(box.ownedByTheDialog);
            EXPECT_EQ(c.question, box.retryAndCancel);
        }
    }
}

// The copy's pace under Wine: about a millisecond a small file, from its
// read to its line in the log.
constexpr DWORD kCopyMsPerFile = 1;

// Calls the view as the copy calls it for every file it copies, from the
// install's thread (logic/copy: the file's bytes shown as progress, then its
// destination path and a line break appended, two calls): for the files
// a<first>.txt to a<last - 1>.txt of a byte each in `destination`, one every
// kCopyMsPerFile, the last `quickAtTheEnd` of them at once, so that they are
// still gathered when the copy stops. Returns the log they leave.
std::string CopyFiles(InstallerDialog& view, const std::string& destination, int first, int last,
                      int quickAtTheEnd = 0) {
    std::string log;
    const ULONGLONG total = last - first;
    view.ShowProgress(0, total);
    for (int i = first; i < last; ++i) {
        if (i < last - quickAtTheEnd) Sleep(kCopyMsPerFile);
        const std::string path = destination + "\\a" + std::to_string(i) + ".txt";
        view.ShowProgress(i + 1 - first, total);
        view.AppendLogText(Wide(path).c_str());
        view.AppendLogText(L"\r\n");
        log += path + "\r\n";
    }
    return log;
}

// The copy stops at a file it cannot copy (a folder in its way): it asks, as
// it asks, and the user cancels. The log, under the box and after, holds the
// line of every file copied before it, in order, the ones still gathered
// when it stopped too.
TEST_F(InstallerViewTest, ACopyThatStopsLeavesTheLinesOfEveryFileCopiedBeforeIt) {
    const std::string medium = "M:\\", destination = "C:\\ZelOr";
    std::string expected;
    Box box = {"Установка программы Зеларит:Орвента", IDCANCEL};
    OnLiveDialog([&](InstallerDialog& view, HWND dialog) {
        AnswerNextBox(box, dialog);
        OnAnotherThread([&] {
            view.ClearLog();
            expected = CopyFiles(view, destination, 100, 400, 50);
            EXPECT_FALSE(AskRetryCopy(view, Wide(medium).c_str(), Wide(destination).c_str(), L"b.txt",
                                      ERROR_ACCESS_DENIED));
            view.EndWithResult(kEndedByScenario);
        });
        EXPECT_EQ(expected, TextOf(GetDlgItem(dialog, 1003)));
    });
    EXPECT_EQ(expected, box.logUnderIt) << "the box came before the log had every line";
}

// A log control that takes 20 ms for every text put into it, and counts them.
WNDPROC g_editProc = nullptr;
int g_replacements = 0;
LRESULT CALLBACK SlowLog(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == EM_REPLACESEL) {
        ++g_replacements;
        Sleep(20);
    }
    return CallWindowProcW(g_editProc, window, message, wParam, lParam);
}

// Each hand-over to the slow log takes at least 20 ms, so the next one waits
// at least 9 x 20 ms: hand-overs start at least 200 ms apart, whatever the
// copy, here one of 1,500 files at the copy's pace.
TEST_F(InstallerViewTest, ASlowLogIsHandedOverAtMostEveryNineTimesItsCost) {
    std::string expected;
    DWORD elapsed = 0;
    OnLiveDialog([&](InstallerDialog& view, HWND dialog) {
        HWND log = GetDlgItem(dialog, 1003);
        view.ClearLog();
        // A wide procedure: an ANSI one on the Unicode log would have its text
        // converted to the code page and back.
        g_editProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(log, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SlowLog)));
        g_replacements = 0;
        const DWORD start = GetTickCount();
        OnAnotherThread([&] {
            expected = CopyFiles(view, "C:\\ZelOr", 1000, 2500);
            view.EndWithResult(kEndedByScenario);
        });
        elapsed = GetTickCount() - start;
        EXPECT_EQ(expected, TextOf(log));
    });
    // At 50 ms apart, as for a fast control, there would be about elapsed / 70.
    EXPECT_LE(g_replacements, 2 + static_cast<int>(elapsed / 200))
        << "hand-overs in " << elapsed << " ms of copying 1,500 files";
    EXPECT_GE(g_replacements, 2) << "the copy took " << elapsed << " ms";
}

TEST_F(InstallerViewTest, ClearLogEmptiesItGatheredTextIncluded) {
    OnLiveDialog([](InstallerDialog& view, HWND dialog) {
        HWND log = GetDlgItem(dialog, 1003);
        ASSERT_NE("", TextOf(log));  // the information text
        view.ClearLog();
        EXPECT_EQ("", TextOf(log));
        view.AppendLogText(L"C:\\ZelOr\\первый.txt\r\n");
        view.AppendLogText(L"C:\\ZelOr\\второй.txt\r\n");  // gathered, not shown yet
        view.ClearLog();
        EXPECT_EQ("", TextOf(log));
        view.AppendLogText(L"C:\\ZelOr\\третий.txt\r\n");
        view.EndWithResult(kEndedByScenario);
        EXPECT_EQ("C:\\ZelOr\\третий.txt\r\n", TextOf(log));
    });
}

// 259 units at most: the field takes 258, so one more tells a text put there
// that is longer than the install takes (a picked folder).
TEST_F(InstallerViewTest, ReadDestinationTakesAtMost259Units) {
    const struct {
        std::string typed;
        std::string read;
    } cases[] = {
        {"C:\\ZelOr", "C:\\ZelOr"},
        {"D:\\Игры\\Орвента", "D:\\Игры\\Орвента"},
        {"C:\\Users\\Jürgen\\Ελληνικά\\説明書", "C:\\Users\\Jürgen\\Ελληνικά\\説明書"},
        {"C:\\" + std::string(255, 'a'), "C:\\" + std::string(255, 'a')},
        {"C:\\" + std::string(300, 'b'), "C:\\" + std::string(256, 'b')},
        // 259 units: Cyrillic, where the same letters in UTF-8 would take 515 bytes.
        {"C:\\" + Repeated("я", 300), "C:\\" + Repeated("я", 256)},
    };
    OnLiveDialog([&](InstallerDialog& view, HWND dialog) {
        for (const auto& c : cases) {
            SetDlgItemTextW(dialog, 1000, Wide(c.typed).c_str());
            GuardedPath<ShortPath::capacity> buffer;
            view.ReadDestination(buffer.path);
            EXPECT_EQ(c.read, Narrow(buffer.path.text)) << c.typed.size();
            EXPECT_TRUE(buffer.SentinelIntact()) << c.typed.size();
        }
    });
}

TEST_F(InstallerViewTest, TypingInTheFieldStopsAt258Units) {
    OnLiveDialog([](InstallerDialog&, HWND dialog) {
        HWND field = GetDlgItem(dialog, 1000);
        SetWindowTextW(field, Wide("C:\\" + std::string(250, 'a')).c_str());
        SendMessageW(field, EM_SETSEL, 253, 253);
        for (int i = 0; i < 10; ++i) SendMessageW(field, WM_CHAR, L'я', 1);
        EXPECT_EQ(258, GetWindowTextLengthW(field));
    });
}

// The cursor over the dialog while the install runs: the default handling
// would put the arrow back at the first mouse move.
TEST_F(InstallerViewTest, TheWaitCursorStaysWhileTheControlsAreFrozen) {
    OnLiveDialog([](InstallerDialog& view, HWND dialog) {
        const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT), arrow = LoadCursorW(nullptr, IDC_ARROW);
        // The cursor the window sets when the mouse moves over `window`.
        const auto over = [](HWND window) {
            SetCursor(nullptr);
            SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
            return GetCursor();
        };
        EXPECT_EQ(arrow, over(dialog));
        view.SetDestinationReadOnly();
        view.DisableButton(IDOK);
        view.DisableButton(IDCANCEL);
        view.DisableButton(1001);
        EXPECT_EQ(wait, over(dialog));
        EXPECT_EQ(wait, over(GetDlgItem(dialog, 1003)));
        EXPECT_EQ(wait, over(GetDlgItem(dialog, 1000)));
    });
}

TEST_F(InstallerViewTest, FreezingTouchesOnlyTheNamedControls) {
    const int buttons[] = {IDOK, IDCANCEL, 1001};
    for (int disabled : buttons) {
        OnLiveDialog([&](InstallerDialog& view, HWND dialog) {
            view.DisableButton(disabled);
            for (int id : buttons) EXPECT_EQ(id != disabled, !!IsWindowEnabled(GetDlgItem(dialog, id))) << id;
        });
    }
    OnLiveDialog([](InstallerDialog& view, HWND dialog) {
        HWND field = GetDlgItem(dialog, 1000);
        EXPECT_FALSE(GetWindowLongW(field, GWL_STYLE) & ES_READONLY);
        view.SetDestinationReadOnly();
        EXPECT_TRUE(GetWindowLongW(field, GWL_STYLE) & ES_READONLY);
        EXPECT_TRUE(IsWindowEnabled(field));  // still selectable, only not editable
    });
}

// Sets the work area for this test and puts the previous one back afterwards.
// Wine keeps the work area per process, so the dialog here sees what is set.
class WorkArea {
public:
    explicit WorkArea(RECT area) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved_, 0);
        SystemParametersInfoW(SPI_SETWORKAREA, 0, &area, 0);
    }
    ~WorkArea() { SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved_, 0); }
    WorkArea(const WorkArea&) = delete;
    WorkArea& operator=(const WorkArea&) = delete;

private:
    RECT saved_ = {};
};

TEST_F(InstallerViewTest, WithoutAnOwnerTheDialogIsCentredInTheWorkAreaAndKeptInsideIt) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    // Offset from the screen's top-left corner by different amounts on each
    // side, so neither the screen's centre nor the area's corner would do; the
    // last is smaller than the dialog, which then starts at its top-left corner
    // so that its title bar stays reachable.
    const struct {
        RECT area;
        bool fits;
    } cases[] = {
        {{150, 90, width - 30, height - 10}, true},
        {{10, 200, width - 250, height - 40}, true},
        {{200, 100, 400, 250}, false},
    };
    for (const auto& c : cases) {
        WorkArea workArea(c.area);
        RECT area;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        ASSERT_TRUE(EqualRect(&c.area, &area)) << "the work area could not be set: " << area.left << ","
                                               << area.top << "," << area.right << "," << area.bottom;
        RECT window = {};
        OnLiveDialog([&](InstallerDialog&, HWND dialog) { GetWindowRect(dialog, &window); });
        const int dialogWidth = window.right - window.left, dialogHeight = window.bottom - window.top;
        ASSERT_EQ(c.fits, dialogWidth <= area.right - area.left && dialogHeight <= area.bottom - area.top);
        if (c.fits) {
            EXPECT_EQ((area.left + area.right) / 2 - dialogWidth / 2, window.left) << area.left;
            EXPECT_EQ((area.top + area.bottom) / 2 - dialogHeight / 2, window.top) << area.top;
            EXPECT_TRUE(window.left >= area.left && window.top >= area.top && window.right <= area.right &&
                        window.bottom <= area.bottom);
        } else {
            EXPECT_EQ(area.left, window.left);
            EXPECT_EQ(area.top, window.top);
        }
    }
}

}  // namespace
