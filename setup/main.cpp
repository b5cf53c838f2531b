// TessarkSetup: installs Tessark onto the desktop machine and a connected palm-size PC, in a
// skinned window of pages (language, target, progress) and a final skinned message box. The
// installation runs on a worker thread that only posts to the window; the window thread owns
// every window and frees the progress records the worker sends.
//
// Unattended: --silent shows only the progress page and the final box, --very-silent nothing;
// the exit code then tells whether every target was installed.
#include "engine/cea_sprite.h"
#include "foundation/language.h"
#include "foundation/memory.h"
#include "foundation/properties.h"
#include "foundation/tl_string.h"
#include "platform/base.h"
#include "platform/clock.h"
#include "platform/gdi.h"
#include "platform/reg.h"
#include "platform/user.h"
#include "setup/sl_main.h"
#include "setup/sl_toolkit.h"
#include "setup/unzipper.h"
#include "skin/skincontrol.h"
#include "skin/skinlib.h"
#include "skin/skinmessage.h"
#include "skin/skinwindow.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#ifndef TESSARK_VERSION
#define TESSARK_VERSION "0"
#endif

namespace {

constexpr const TCHAR kApplication[] = TEXT("Tessark CE");
constexpr const char kProduct[] = "Tessark";

// Resources.
constexpr UINT kIconId = 500;
constexpr UINT kSkinArchiveId = 800;
constexpr UINT kGameArchiveId = 113;
constexpr UINT kFrameImageId = 501;
constexpr UINT kInstallImageId = 502;
constexpr UINT kRescanImageId = 503;

// Dialogs, by base id.
constexpr UINT kMainDialog = 101;
constexpr UINT kLanguagePage = 103;
constexpr UINT kTargetPage = 105;
constexpr UINT kNoDevicePage = 107;
constexpr UINT kProgressPage = 109;
constexpr UINT kProgressPage2 = 111;

// Strings, by base id.
constexpr UINT kTitleString = 2;
constexpr UINT kCaptionString = 4;
constexpr UINT kStageStrings[] = {6, 8, 10, 12, 14};
constexpr UINT kSuccessString = 16;
constexpr UINT kErrorString = 18;
constexpr UINT kFileErrorString = 22;
constexpr UINT kFinishErrorString = 24;
constexpr UINT kNoDeviceErrorString = 26;

// Controls.
constexpr WORD kInstallButton = 1000;
constexpr WORD kEnglishRadio = 1001;
constexpr WORD kEsperantoRadio = 1002;
constexpr WORD kDesktopRadio = 1003;
constexpr WORD kBothRadio = 1004;
constexpr WORD kDeviceRadio = 1005;
constexpr WORD kTitleText = 1006;
constexpr WORD kRescanButton = 1007;
constexpr WORD kFirstBar = 1008;
constexpr WORD kSecondBar = 1009;
constexpr WORD kStatusText = 1011;

// Commands to the main window.
constexpr WORD kUpdateStatus = 1010;
constexpr WORD kInstallFinished = 1012;
// The pages' own commands are carried out by the main window after the page's procedure has
// returned, because each of them destroys the page it came from.
constexpr WORD kChangeLanguage = 1013;
constexpr WORD kRescan = 1014;
constexpr WORD kStartInstall = 1015;

constexpr LANGID kEnglish = 1033;
constexpr LANGID kEsperanto = 0;

// Where the vertical placement of the pages' buttons keeps them: 16 px above the bottom.
constexpr LONG kButtonBottom = 16;

enum InstallTargetChoice { kDesktopOnly = 0, kBoth = 1, kDeviceOnly = 2 };
enum Result { kNotFinished = 0, kInstalled = 1, kFailed = 2 };
enum Quiet { kInteractive = 0, kSilent = 1, kVerySilent = 2 };

struct UPDATESTATUS {
    DWORD control;
    DWORD percent;
    TCHAR text[256];
};

struct SetupState {
    HINSTANCE instance = nullptr;
    Skin* skin = nullptr;
    SetupLib* library = nullptr;
    ZIPFILE* archive = nullptr;
    SkinWindow* main = nullptr;
    HWND mainPage = nullptr;
    HWND languagePage = nullptr;
    HWND rightPage = nullptr;
    HWND progressPage = nullptr;
    Sprite* installImage = nullptr;
    Sprite* rescanImage = nullptr;
    cetl::PROPERTIES app;
    int target = kDesktopOnly;
    int result = kNotFinished;
    string error;
    // The worker and what it shares with the window thread.
    HANDLE worker = nullptr;
    std::atomic<bool> stopping{false};
    std::mutex post;
    HWND postTo = nullptr; // null once the window is going: the worker posts nothing more
    Quiet quiet = kInteractive;
};

SetupState& State() {
    static SetupState state;
    return state;
}

void TraceSetup(const char* text) {
    State().library->Trace("%s", text);
}

// --- The worker ---------------------------------------------------------------------------------

bool SetError(const string& text) {
    State().error = text;
    return false;
}

// Posts a command to the main window, or tells the caller it could not (the window is gone).
bool PostToWindow(WORD command, LPARAM lParam) {
    SetupState& s = State();
    std::lock_guard<std::mutex> hold(s.post);
    return s.postTo && PostMessage(s.postTo, WM_COMMAND, command, lParam);
}

std::string LastComponent(const char* name) {
    std::string reduced = name ? name : "";
    const auto cut = reduced.find_last_of("\\/");
    if (cut != std::string::npos) reduced.erase(0, cut + 1);
    return reduced;
}

void StatusCallback(int stage, int percent, const char* name, DWORD control) {
    SetupState& s = State();
    if (s.quiet == kVerySilent) return;
    auto* record = new (MM("UPDATESTATUS")) UPDATESTATUS{};
    record->control = control;
    record->percent = static_cast<DWORD>(percent < 0 ? 0 : percent > 100 ? 100 : percent);
    const UINT base = stage >= 0 && stage <= 4 && stage != 3 ? kStageStrings[stage] : 12;
    const string text = sformat(LoadLocalizedString(base).c_str(), static_cast<long>(percent),
                                LastComponent(name).c_str());
    std::strncpy(record->text, text.c_str(), 255);
    record->text[255] = 0;
    if (!PostToWindow(kUpdateStatus, reinterpret_cast<LPARAM>(record)))
        MemDelete(record, MM("UPDATESTATUS"));
}

bool InstallTarget(SetupToolkit* kit, DWORD bar) {
    SetupState& s = State();
    TraceSetup("opening journal");
    kit->setprogresscallback(StatusCallback, bar);
    kit->openjournal(kProduct);

    TraceSetup("initializing journal");
    for (const char* value : {"Settings", "SavedGame", "SavedHistory"})
        kit->journalvalue(HKEY_CURRENT_USER, "Software\\Orvane\\Tessark", value);
    kit->copylanguage(kApplication);
    kit->flushjournal();
    if (s.stopping) return false;

    TraceSetup("installing tessark.exe");
    const std::string destination = std::string(
        sformat("%s\\%s\\tessark.exe", kit->getfolder(kProgramsFolder).c_str(), kProduct).c_str());
    if (!kit->installfile(destination, *s.archive, kit->getprocessorname() + "\\tessark.exe", 5,
                          95))
        return SetError(
            sformat(LoadLocalizedString(kFileErrorString).c_str(), destination.c_str()));
    if (s.stopping) return false;

    // The game's icon, where the archive has one for this target, beside the game: the desktop
    // menu entry of the shortcut shows it. A missing icon costs only the picture.
    const std::string icon = kit->getprocessorname() + "/tessark.ico";
    if (s.archive->Find(icon.c_str())) {
        const std::string iconPath = destination.substr(0, destination.size() - 3) + "ico";
        kit->installfile(iconPath, *s.archive, icon, -1, -1);
    }

    TraceSetup("creating shortcut");
    const std::string shortcut = std::string(
        sformat("%s\\Games\\%s.lnk", kit->getfolder(kProgramsMenu).c_str(), kProduct).c_str());
    if (!kit->linkfile(shortcut, destination))
        return SetError(
            sformat(LoadLocalizedString(kFileErrorString).c_str(), destination.c_str()));
    if (s.stopping) return false;

    TraceSetup("finalizing");
    if (!kit->finalize(*s.archive, kit->getprocessorname() + "\\uninstaller.dll", 95, 100))
        return SetError(LoadLocalizedString(kFinishErrorString));
    return true;
}

bool RunInstallation() {
    SetupState& s = State();
    bool ok = true;
    TraceSetup("InstallThread begins");
    if (s.target == kDesktopOnly || s.target == kBoth)
        ok = InstallTarget(s.library->desktop(), kFirstBar);
    if (ok && (s.target == kBoth || s.target == kDeviceOnly)) {
        if (SetupToolkit* device = s.library->device())
            ok = InstallTarget(device, s.target == kBoth ? kSecondBar : kFirstBar);
        else
            ok = SetError(LoadLocalizedString(kNoDeviceErrorString));
    }
    TraceSetup("InstallThread ends");
    return ok;
}

// The window thread takes a hold on the simulated clock before starting the worker, so that
// scripted runs wait for the installation instead of jumping past it; the worker lets go at
// its end.
DWORD WINAPI InstallThread(LPVOID) {
    const bool ok = RunInstallation();
    PostToWindow(kInstallFinished, ok ? 1 : 0);
    platform::clock::Release();
    return 0;
}

// --- Pages --------------------------------------------------------------------------------------

SkinControl* Control(WORD id) {
    return State().main ? State().main->FindControl(id) : nullptr;
}

bool Checked(WORD id) {
    SkinControl* c = Control(id);
    return c && c->GetCheck() != 0;
}

void Check(WORD id, bool on) {
    if (SkinControl* c = Control(id)) c->SetCheck(on ? 1 : 0);
}

void SetControlText(WORD id, const string& text) {
    if (SkinControl* c = Control(id)) c->SetText(text.c_str());
}

// Gives a page's button its image and keeps it 16 px above the bottom of the window.
void AnchorButton(WORD id, Sprite* image) {
    SkinControl* button = Control(id);
    if (!button) return;
    if (image) button->SetSprite(image);
    button->SetPlacement(kSkinKeep, kSkinKeep, kSkinKeep, kPlaceFar | kPlaceWhole, kButtonBottom,
                         kSkinKeep);
}

HWND AddPage(UINT baseId, DLGPROC proc) {
    return State().main->AddPage(State().instance, MAKEINTRESOURCE(LocalizedResourceId(baseId)),
                                 proc, 0);
}

void RemovePage(HWND& page) {
    if (page) State().main->RemovePage(page);
    page = nullptr;
}

INT_PTR CALLBACK LanguagePageProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    SetupState& s = State();
    switch (message) {
    case WM_INITDIALOG:
        Check(kEnglishRadio, CurrentLanguageId() == kEnglish);
        Check(kEsperantoRadio, CurrentLanguageId() == kEsperanto);
        SetControlText(kTitleText, LoadLocalizedString(kTitleString));
        {
            const string caption = LoadLocalizedString(kCaptionString);
            SetWindowText(s.main->GetHandle(), caption.c_str());
            s.library->Trace("caption %s", caption.c_str());
        }
        return TRUE;
    case kSkinLayout:
        AnchorButton(kInstallButton, s.installImage);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kInstallButton:
            PostMessage(s.main->GetHandle(), WM_COMMAND, kStartInstall, 0);
            return TRUE;
        case kEnglishRadio:
        case kEsperantoRadio:
            PostMessage(s.main->GetHandle(), WM_COMMAND, kChangeLanguage, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK TargetPageProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    SetupState& s = State();
    switch (message) {
    case WM_INITDIALOG:
        Check(kDesktopRadio, s.target == kDesktopOnly);
        Check(kBothRadio, s.target == kBoth);
        Check(kDeviceRadio, s.target == kDeviceOnly);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kDesktopRadio:
        case kBothRadio:
        case kDeviceRadio:
            s.target = Checked(kDesktopRadio) ? kDesktopOnly
                       : Checked(kBothRadio)  ? kBoth
                                              : kDeviceOnly;
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK NoDevicePageProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    SetupState& s = State();
    switch (message) {
    case WM_INITDIALOG:
        s.target = kDesktopOnly;
        return TRUE;
    case kSkinLayout:
        AnchorButton(kRescanButton, s.rescanImage);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == kRescanButton) {
            PostMessage(s.main->GetHandle(), WM_COMMAND, kRescan, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK ProgressPageProc(HWND, UINT message, WPARAM, LPARAM) {
    SetupState& s = State();
    if (message == WM_INITDIALOG) {
        SetControlText(kStatusText, string());
        if (!s.worker) {
            platform::clock::Hold();
            s.worker = CreateThread(nullptr, 0, InstallThread, nullptr, 0, nullptr);
            if (!s.worker) {
                platform::clock::Release();
                // Without a worker there is no installation: report it as a failure.
                s.error = LoadLocalizedString(kFinishErrorString);
                PostToWindow(kInstallFinished, 0);
            }
        }
        return TRUE;
    }
    return FALSE;
}

void CreateRightPage() {
    SetupState& s = State();
    s.rightPage = s.library->connectdevice(0) ? AddPage(kTargetPage, TargetPageProc)
                                              : AddPage(kNoDevicePage, NoDevicePageProc);
}

void CreateFirstPages() {
    State().languagePage = AddPage(kLanguagePage, LanguagePageProc);
    CreateRightPage();
}

void ChangeLanguage() {
    SetupState& s = State();
    AnimWindow* anim = s.main->GetAnimWindow();
    anim->Freeze();
    const LANGID wanted = Checked(kEnglishRadio) ? kEnglish : kEsperanto;
    if (wanted != CurrentLanguageId()) {
        SetLanguage(wanted);
        RemovePage(s.languagePage);
        s.languagePage = AddPage(kLanguagePage, LanguagePageProc);
        RemovePage(s.rightPage);
        const int target = s.target; // the no-device page would reset it
        CreateRightPage();
        s.target = target;
    }
    anim->Unfreeze();
}

void Rescan() {
    SetupState& s = State();
    if (!s.library->connectdevice(1000)) return;
    AnimWindow* anim = s.main->GetAnimWindow();
    anim->Freeze();
    RemovePage(s.rightPage);
    s.target = kBoth;
    s.rightPage = AddPage(kTargetPage, TargetPageProc);
    anim->Unfreeze();
}

void StartInstall() {
    SetupState& s = State();
    if (s.progressPage) return;
    AnimWindow* anim = s.main->GetAnimWindow();
    anim->Freeze();
    RemovePage(s.languagePage);
    RemovePage(s.rightPage);
    s.progressPage = AddPage(s.target == kBoth ? kProgressPage2 : kProgressPage, ProgressPageProc);
    anim->Unfreeze();
}

// Frees the progress records still waiting in the queue once the worker can post no more.
void DropPendingStatus(HWND hwnd) {
    MSG msg;
    while (PeekMessage(&msg, hwnd, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
        if (LOWORD(msg.wParam) == kUpdateStatus)
            MemDelete(reinterpret_cast<UPDATESTATUS*>(msg.lParam), MM("UPDATESTATUS"));
    }
}

// Ends the window's run; the window goes once no handler of it is running any more.
void Close() {
    if (State().main) State().main->EndModal(IDCANCEL);
}

INT_PTR CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    SetupState& s = State();
    switch (message) {
    case WM_INITDIALOG:
        s.main = SkinWindow::FromHandle(hwnd);
        if (!s.main) return TRUE;
        {
            std::lock_guard<std::mutex> hold(s.post);
            s.postTo = s.main->GetHandle();
        }
        if (s.quiet == kSilent)
            StartInstall();
        else
            CreateFirstPages();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            Close();
            return TRUE;
        case kUpdateStatus: {
            auto* record = reinterpret_cast<UPDATESTATUS*>(lParam);
            if (!record) return TRUE;
            if (SkinControl* bar = Control(static_cast<WORD>(record->control)))
                bar->SetPosition(static_cast<LONG>(record->percent));
            s.library->Trace("progress bar %lu at %lu%%",
                             static_cast<unsigned long>(record->control),
                             static_cast<unsigned long>(record->percent));
            SetControlText(kStatusText, record->text);
            MemDelete(record, MM("UPDATESTATUS"));
            return TRUE;
        }
        case kInstallFinished:
            s.result = lParam != 0 ? kInstalled : kFailed;
            Close();
            return TRUE;
        case kChangeLanguage:
            if (!s.progressPage) ChangeLanguage();
            return TRUE;
        case kRescan:
            if (!s.progressPage) Rescan();
            return TRUE;
        case kStartInstall:
            StartInstall();
            return TRUE;
        }
        break;
    case WM_DESTROY: {
        {
            std::lock_guard<std::mutex> hold(s.post);
            s.postTo = nullptr;
        }
        s.stopping = true;
        if (s.main) DropPendingStatus(s.main->GetHandle());
        // The window takes its pages with it.
        s.languagePage = s.rightPage = s.progressPage = nullptr;
        return TRUE;
    }
    }
    return FALSE;
}

// --- Start-up -----------------------------------------------------------------------------------

Sprite* LoadImage(UINT id, bool transparent) {
    try {
        return transparent
                   ? new (MM("SPRITE")) Sprite(State().instance, MAKEINTRESOURCE(id),
                                               RGB(0, 0, 255), 1, 1, kSpriteAllFrames)
                   : new (MM("SPRITE"))
                         Sprite(State().instance, MAKEINTRESOURCE(id), 1, 1, kSpriteAllFrames);
    } catch (...) {
        return nullptr;
    }
}

void LoadImages() {
    SetupState& s = State();
    PaletteGroup* palette = s.skin->Palette();
    if (palette) palette->Open();
    if (Sprite* frame = LoadImage(kFrameImageId, false))
        s.skin->AddImage(TEXT("TessarkSetup Frame.psp"), frame);
    s.installImage = LoadImage(kInstallImageId, true);
    s.rescanImage = LoadImage(kRescanImageId, true);
    if (palette) palette->Close();
}

void ShowResult() {
    SetupState& s = State();
    if (s.quiet == kVerySilent || s.result == kNotFinished) return;
    const string caption = LoadLocalizedString(kCaptionString);
    if (s.result == kInstalled) {
        SkinMessage(s.skin, MB_ICONINFORMATION, caption.c_str(),
                    LoadLocalizedString(kSuccessString).c_str());
    } else {
        const string text = sformat(LoadLocalizedString(kErrorString).c_str(), s.error.c_str());
        SkinMessage(s.skin, MB_ICONHAND, caption.c_str(), text.c_str());
    }
}

void RunWindow() {
    SetupState& s = State();
    s.main =
        SkinWindow::Create(s.skin, TEXT("TessarkSetup"), nullptr, s.instance,
                           MAKEINTRESOURCE(LocalizedResourceId(kMainDialog)), MainProc, 0, &s.app);
    if (!s.main) {
        s.error = LoadLocalizedString(kFinishErrorString);
        s.result = kFailed;
        return;
    }
    // The window opens in the middle of the desktop's work area.
    RECT work{}, window{};
    if (SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0) &&
        GetWindowRect(s.main->GetHandle(), &window)) {
        const LONG width = window.right - window.left, height = window.bottom - window.top;
        SetWindowPos(s.main->GetHandle(), nullptr,
                     work.left + (work.right - work.left - width) / 2,
                     work.top + (work.bottom - work.top - height) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    s.main->RunModal();
    if (IsWindow(s.main->GetHandle())) DestroyWindow(s.main->GetHandle());
}

// --- Command line -------------------------------------------------------------------------------

constexpr const char* kUsage =
    "usage: TessarkSetup [--silent | --very-silent] [--target desktop|both|device]\n"
    "                    [--language en|eo]\n"
    "  Installs Tessark onto this desktop machine and a connected palm-size PC.\n"
    "  --silent       show only the progress and the final message\n"
    "  --very-silent  show nothing; the exit code is 0 when every target was installed,\n"
    "                 1 otherwise, with the error on standard error\n"
    "  --target T     where to install without asking (default desktop)\n"
    "  --language L   the language of the setup program and of the game\n"
    "  --help, --version\n";

struct Options {
    Quiet quiet = kInteractive;
    int target = -1;
    LANGID language = 0xFFFF;
};

// Exit code 2 with a message for anything it does not know.
bool ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--version") {
            std::printf("TessarkSetup %s\n", TESSARK_VERSION);
            std::exit(0);
        } else if (arg == "--silent") {
            options.quiet = kSilent;
        } else if (arg == "--very-silent") {
            options.quiet = kVerySilent;
        } else if (arg == "--target" && hasValue) {
            const std::string value = argv[++i];
            if (value == "desktop")
                options.target = kDesktopOnly;
            else if (value == "both")
                options.target = kBoth;
            else if (value == "device")
                options.target = kDeviceOnly;
            else {
                std::fprintf(stderr, "TessarkSetup: --target takes desktop, both or device\n");
                return false;
            }
        } else if (arg == "--language" && hasValue) {
            const std::string value = argv[++i];
            if (value == "en")
                options.language = kEnglish;
            else if (value == "eo")
                options.language = kEsperanto;
            else {
                std::fprintf(stderr, "TessarkSetup: --language takes en or eo\n");
                return false;
            }
        } else {
            std::fprintf(stderr, "TessarkSetup: unknown argument '%s'\n%s", arg.c_str(), kUsage);
            return false;
        }
    }
    return true;
}

int Run(const Options& options) {
    SetupState& s = State();
    s.quiet = options.quiet;
    InitialiseLanguage(kApplication);
    if (options.language != 0xFFFF) SetLanguage(options.language);

    s.instance = GetModuleHandle(nullptr);
    if (!SkinWindowInit(s.instance, LoadOwnIcon(kIconId))) return 0;
    try {
        s.skin = LoadSkinFromResource(s.instance, kSkinArchiveId);
    } catch (...) {
        s.skin = nullptr;
    }
    if (!s.skin) {
        std::fputs("TessarkSetup: the program's skin is missing or damaged\n", stderr);
        return 1;
    }
    s.app.Parse(string(TEXT("Font = MS Shell Dlg,10")));
    s.library = new (MM("SETUPLIB")) SetupLib();
    s.archive = new (MM("ZIPFILE")) ZIPFILE(s.instance, kGameArchiveId, TEXT("ZIP"));
    LoadImages();

    if (options.quiet != kInteractive) {
        s.target = options.target < 0 ? kDesktopOnly : options.target;
        if (s.target != kDesktopOnly && !s.library->connectdevice(0)) {
            s.error = LoadLocalizedString(kNoDeviceErrorString);
            s.result = kFailed;
        }
    } else if (options.target >= 0) {
        s.target = options.target;
    }

    if (s.result == kNotFinished) {
        if (options.quiet == kVerySilent)
            s.result = RunInstallation() ? kInstalled : kFailed;
        else
            RunWindow();
    }
    // The window may close while the worker is still at it: let it finish its step first.
    if (s.worker) {
        s.stopping = true;
        WaitForSingleObject(s.worker, INFINITE);
        CloseHandle(s.worker);
        s.worker = nullptr;
    }
    ShowResult();

    const int exitCode = s.result == kInstalled ? 0 : 1;
    if (options.quiet != kInteractive && s.result != kInstalled) {
        const std::string text =
            s.error.empty() ? std::string("the installation was cancelled") : s.error.c_str();
        std::fprintf(stderr, "TessarkSetup: %s\n", text.c_str());
    }

    // The skin outlives every window drawn from it, and the controls the button images.
    MemDelete(s.archive, MM("ZIPFILE"));
    s.archive = nullptr;
    MemDelete(s.library, MM("SETUPLIB"));
    s.library = nullptr;
    if (s.main) SkinWindow::Destroy(s.main);
    s.main = nullptr;
    MemDelete(s.skin, MM("SKIN"));
    s.skin = nullptr;
    if (s.installImage) MemDelete(s.installImage, MM("SPRITE"));
    if (s.rescanImage) MemDelete(s.rescanImage, MM("SPRITE"));
    s.installImage = s.rescanImage = nullptr;
    s.app.clear();
    s.error = string();
    return options.quiet == kInteractive ? 0 : exitCode;
}

} // namespace

int main(int argc, char** argv) {
    platform::gdi::UseCallerFlavour();
    platform::OnProgramStart();
    Options options;
    if (!ParseArguments(argc, argv, options)) return 2;
    const int code = Run(options);
    if (MemExitCheck() != 0) return 3;
    return code;
}
