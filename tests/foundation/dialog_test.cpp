// Message boxes, dialogs by language, the trace box and the memory manager's box, over the
// resources of dialog_test.rc ("EN,EO", dialogs 125/126) and the null driver, whose boxes are
// answered by the queued answers or the hook below.
#include "foundation/language.h"
#include "foundation/tl_dialog.h"
#include "tests/foundation/test_util.h"
#include "tests/platform/temp_machine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// What the last box showed.
struct Seen {
    UINT type = 0;
    std::u16string caption;
    std::u16string text;
    std::thread::id thread;
    HWND box = nullptr;
    int boxes = 0;
};
Seen g_seen;

std::u16string TextOf(HWND hwnd) {
    WCHAR buffer[512] = {};
    GetWindowTextW(hwnd, buffer, 512);
    return buffer;
}

void Record(HWND box, UINT type) {
    g_seen.type = type;
    g_seen.caption = TextOf(box);
    g_seen.thread = std::this_thread::get_id();
    g_seen.box = box;
    ++g_seen.boxes;
    for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        WCHAR cls[16] = {};
        GetClassNameW(c, cls, 16);
        const DWORD style = static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE));
        if (std::u16string(cls) == u"Static" && (style & SS_TYPEMASK) != SS_ICON)
            g_seen.text = TextOf(c);
    }
}

int RecordAndLeave(HWND box, UINT type) {
    Record(box, type);
    return 0; // the queued answer or the first button
}

int RecordAndCancel(HWND box, UINT type) {
    Record(box, type);
    return IDCANCEL;
}

class Boxes : public ::testing::Test {
protected:
    void SetUp() override {
        g_seen = Seen{};
        platform::dlg::SetMessageBoxAnswer(RecordAndLeave);
    }
    void TearDown() override { platform::dlg::ClearMessageBoxAnswers(); }
};

// ---- Message ----------------------------------------------------------------------------------

TEST_F(Boxes, MessageAddsTheIconTheButtonsCallFor) {
    struct Case {
        UINT flags;
        UINT shown;
    };
    const Case cases[] = {
        {MB_OK, MB_OK | MB_ICONINFORMATION},
        {MB_YESNO, MB_YESNO | MB_ICONQUESTION},
        {MB_OKCANCEL, MB_OKCANCEL | MB_ICONQUESTION},
        // Only the button bits count: a default-button choice keeps the information icon.
        {MB_DEFBUTTON2, MB_DEFBUTTON2 | MB_ICONINFORMATION},
        // An icon of its own is kept.
        {MB_YESNO | MB_ICONHAND, MB_YESNO | MB_ICONHAND},
        {MB_OK | MB_ICONEXCLAMATION, MB_OK | MB_ICONEXCLAMATION},
    };
    for (const Case& c : cases) {
        Message(c.flags, TEXT("Text"), TEXT("Caption"));
        EXPECT_EQ(g_seen.type, c.shown) << c.flags;
    }
    EXPECT_EQ(g_seen.caption, u"Caption");
    EXPECT_EQ(g_seen.text, u"Text");
}

TEST_F(Boxes, MessageReturnsTheButtonPressed) {
    EXPECT_EQ(Message(MB_YESNO, string("Save?"), string("Tessark")), IDYES);
    platform::dlg::QueueMessageBoxAnswer(IDNO);
    EXPECT_EQ(Message(MB_YESNO, string("Save?"), string("Tessark")), IDNO);
    platform::dlg::QueueMessageBoxAnswer(IDCANCEL);
    EXPECT_EQ(Message(MB_YESNOCANCEL, string("Save?"), string("Tessark")), IDCANCEL);
    EXPECT_EQ(g_seen.text, u"Save?");
    EXPECT_EQ(g_seen.thread, std::this_thread::get_id());
}

// The async box's hook holds the box up until the test has seen Message return.
std::promise<void>* g_release = nullptr;
std::promise<void>* g_up = nullptr;

int HoldUntilReleased(HWND box, UINT type) {
    Record(box, type);
    g_up->set_value();
    g_release->get_future().wait();
    return IDOK;
}

TEST_F(Boxes, AsynchronousMessageReturnsAtOnceWhileItsBoxStaysUp) {
    std::promise<void> release, up;
    g_release = &release;
    g_up = &up;
    platform::dlg::SetMessageBoxAnswer(HoldUntilReleased);
    string text("Esperanto: ĉiu ŝipo");
    const std::size_t before = MemGetStats().liveBlocks;
    EXPECT_EQ(Message(kMessageAsync | MB_YESNO, text, string("Async")), 0);
    // The caller's texts may go away at once: the box holds copies.
    text = "changed";
    ASSERT_EQ(up.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_NE(g_seen.thread, std::this_thread::get_id());
    EXPECT_TRUE(IsWindow(g_seen.box));
    EXPECT_TRUE(IsWindowVisible(g_seen.box));
    EXPECT_EQ(g_seen.type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION)); // bit 31 cleared
    EXPECT_EQ(g_seen.text, u"Esperanto: ĉiu ŝipo");

    release.set_value();
    // The box's thread releases the parameters when the box is gone.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (MemGetStats().liveBlocks != before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(MemGetStats().liveBlocks, before);
    EXPECT_FALSE(IsWindow(g_seen.box));
}

// ---- Trace ------------------------------------------------------------------------------------

std::string g_traced;
void KeepTrace(const char* line) {
    g_traced += line;
}

TEST_F(Boxes, TraceBoxAsksWhetherToGoOn) {
    g_traced.clear();
    TraceHook previous = SetTraceHook(KeepTrace);
    Trace(false, "Graphic::%s called on invalid graphic", "GetWidth");
    SetTraceHook(previous);
    EXPECT_EQ(g_seen.boxes, 1);
    EXPECT_EQ(g_seen.type, static_cast<UINT>(MB_OKCANCEL | MB_ICONINFORMATION));
    EXPECT_EQ(g_seen.caption, u"OK=Continue X=Quit");
    EXPECT_EQ(g_seen.text, u"Graphic::GetWidth called on invalid graphic");
    EXPECT_EQ(g_traced, "Graphic::GetWidth called on invalid graphic\n");

    // Lines for the debugger never show a box.
    Trace(true, u"done");
    EXPECT_EQ(g_seen.boxes, 1);
}

TEST_F(Boxes, TraceBoxCancelEndsTheProgramWithExitCodeZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            platform::dlg::QueueMessageBoxAnswer(IDCANCEL);
            Trace(false, "stop here");
            std::_Exit(3); // not reached when Cancel quits
        },
        ::testing::ExitedWithCode(0), "");
}

// ---- The memory manager's box -----------------------------------------------------------------

TEST_F(Boxes, MemoryManagerReportsAnUnknownAddressInItsBox) {
    MemReportHook previous = SetMemAddressHook(nullptr); // the default report
    int notABlock = 0;
    MemFree(&notABlock, "game.cpp", 40);
    EXPECT_EQ(g_seen.boxes, 1);
    EXPECT_EQ(g_seen.caption, u"Memory Manager");
    EXPECT_EQ(g_seen.type, static_cast<UINT>(MB_OKCANCEL | MB_ICONHAND));
    EXPECT_EQ(g_seen.text.rfind(u"An invalid address was deleted.\n\n   Address: 0x", 0), 0u);
    EXPECT_NE(g_seen.text.find(u"   Current: game.cpp line 40\n\nClick OK to dismiss\nClick X "
                               u"to debug"),
              std::u16string::npos);

    // Cancel asks for the debugger; without one attached the program simply goes on.
    platform::dlg::SetMessageBoxAnswer(RecordAndCancel);
    MemTare(&notABlock, MM("TEST"));
    EXPECT_EQ(g_seen.boxes, 2);
    EXPECT_EQ(g_seen.text.rfind(u"An invalid address was tared.", 0), 0u);
    SetMemAddressHook(previous);
}

// While the box waits for a person, other threads must still be able to allocate.
int AllocateOnAnotherThread(HWND box, UINT type) {
    Record(box, type);
    auto other = std::async(std::launch::async, [] {
        void* p = MemAlloc(32, MM("TEST"));
        MemFree(p, MM("TEST"));
        return p != nullptr;
    });
    if (other.wait_for(5s) != std::future_status::ready) {
        ADD_FAILURE() << "an allocation on another thread waited for the box";
        std::_Exit(1); // the other thread cannot be joined
    }
    EXPECT_TRUE(other.get());
    return IDOK;
}

TEST_F(Boxes, MemoryManagerBoxDoesNotHoldOtherThreadsUp) {
    MemReportHook previous = SetMemAddressHook(nullptr);
    platform::dlg::SetMessageBoxAnswer(AllocateOnAnotherThread);
    int notABlock = 0;
    MemFree(&notABlock, MM("TEST"));
    EXPECT_EQ(g_seen.boxes, 1);
    SetMemAddressHook(previous);
}

// ---- Dialogs by language ----------------------------------------------------------------------

std::u16string g_dialogCaption;
int g_made = 0;

INT_PTR CALLBACK EndAtOnce(HWND dialog, UINT msg, WPARAM, LPARAM param) {
    if (msg != WM_INITDIALOG) return FALSE;
    ++g_made;
    g_dialogCaption = TextOf(dialog);
    EndDialog(dialog, static_cast<INT_PTR>(param));
    return TRUE;
}

INT_PTR CALLBACK Plain(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        std::string name = "Dialog test " + std::to_string(++counter);
        InitialiseLanguage(string(name.c_str()).c_str());
        g_dialogCaption.clear();
    }
    void TearDown() override { SetDialogCalls(nullptr); }
    TempMachine machine_;
};

TEST_F(Dialogs, TemplateFollowsTheCurrentLanguage) {
    ASSERT_EQ(CurrentLanguageId(), kLangEnglish);
    HWND dialog = CreateLocalizedDialog(125, nullptr, Plain, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(TextOf(dialog), u"New Game");
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDOK)), u"OK");
    DestroyWindow(dialog);
    EXPECT_EQ(LocalizedDialogBox(125, nullptr, EndAtOnce, 7), 7);
    EXPECT_EQ(g_dialogCaption, u"New Game");

    ASSERT_TRUE(SetLanguage(kLangEsperanto));
    dialog = CreateLocalizedDialog(125, nullptr, Plain, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(TextOf(dialog), u"Nova Ludo");
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDOK)), u"Bone");
    DestroyWindow(dialog);
    EXPECT_EQ(LocalizedDialogBox(125, nullptr, EndAtOnce, 2), 2);
    EXPECT_EQ(g_dialogCaption, u"Nova Ludo");
}

TEST_F(Dialogs, MissingOrDamagedTemplatesFailWithAnError) {
    SetLastError(0);
    EXPECT_EQ(CreateLocalizedDialog(140, nullptr, Plain, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LocalizedDialogBox(140, nullptr, EndAtOnce, 1), -1);
    // 130 promises three controls and ends after its header.
    SetLastError(0);
    EXPECT_EQ(CreateLocalizedDialog(130, nullptr, Plain, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(LocalizedDialogBox(130, nullptr, EndAtOnce, 1), -1);
    EXPECT_TRUE(g_dialogCaption.empty());
}

// A platform whose calls fail once with `g_firstError`.
int g_wide = 0, g_narrow = 0;
DWORD g_firstError = 0;

HWND CreateFailingFirst(HINSTANCE i, LPCDLGTEMPLATEW t, HWND p, DLGPROC f, LPARAM l) {
    if (g_wide++ + g_narrow == 0) {
        SetLastError(g_firstError);
        return nullptr;
    }
    return CreateDialogIndirectParamW(i, t, p, f, l);
}
HWND CreateNarrowCounted(HINSTANCE i, LPCDLGTEMPLATEA t, HWND p, DLGPROC f, LPARAM l) {
    ++g_narrow;
    return CreateDialogIndirectParamA(i, t, p, f, l);
}
INT_PTR BoxFailingFirst(HINSTANCE i, LPCDLGTEMPLATEW t, HWND p, DLGPROC f, LPARAM l) {
    if (g_wide++ + g_narrow == 0) {
        SetLastError(g_firstError);
        return -1;
    }
    return DialogBoxIndirectParamW(i, t, p, f, l);
}
INT_PTR BoxNarrowCounted(HINSTANCE i, LPCDLGTEMPLATEA t, HWND p, DLGPROC f, LPARAM l) {
    ++g_narrow;
    return DialogBoxIndirectParamA(i, t, p, f, l);
}

TEST_F(Dialogs, NotImplementedIsTriedOnceMoreAndOtherFailuresAreNot) {
    const DialogCalls failing{CreateFailingFirst, CreateNarrowCounted, BoxFailingFirst,
                              BoxNarrowCounted};
    SetDialogCalls(&failing);
#ifdef TESSARK_DEVICE
    const int wideAfterRetry = 2, narrowAfterRetry = 0; // only the 16-bit form exists
#else
    const int wideAfterRetry = 1, narrowAfterRetry = 1;
#endif
    g_wide = g_narrow = 0;
    g_firstError = ERROR_CALL_NOT_IMPLEMENTED;
    HWND dialog = CreateLocalizedDialog(125, nullptr, Plain, 0);
    ASSERT_NE(dialog, nullptr);
    DestroyWindow(dialog);
    EXPECT_EQ(g_wide, wideAfterRetry);
    EXPECT_EQ(g_narrow, narrowAfterRetry);

    g_wide = g_narrow = 0;
    EXPECT_EQ(LocalizedDialogBox(125, nullptr, EndAtOnce, 5), 5);
    EXPECT_EQ(g_wide, wideAfterRetry);
    EXPECT_EQ(g_narrow, narrowAfterRetry);

    g_wide = g_narrow = 0;
    g_firstError = ERROR_INVALID_PARAMETER;
    EXPECT_EQ(CreateLocalizedDialog(125, nullptr, Plain, 0), nullptr);
    EXPECT_EQ(LocalizedDialogBox(125, nullptr, EndAtOnce, 5), 5); // its own first call
    EXPECT_EQ(g_wide + g_narrow, 2);

    // A dialog that ends with -1 by itself is not made twice.
    SetDialogCalls(nullptr);
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    g_made = 0;
    EXPECT_EQ(LocalizedDialogBox(125, nullptr, EndAtOnce, -1), -1);
    EXPECT_EQ(g_made, 1);
}

} // namespace
