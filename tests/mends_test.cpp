// Faults mended in dialogs, SYSTEM.INI writes, closes, the menu and paths.
#include "harness.h"
#include "app/app.h"
#include "res/resource.h"

namespace {

constexpr char BOX_NO_WRITE[] = "box main 0x30 NAPKIT|SYSTEM.INI に書き込めませんでした。\n"
                                "スクリーンセーバーの設定は変更されていません。";
constexpr char ELSEWHERE[] = "C:\\ELSEWHERE.SCR";

struct Mends : Napkit {
    std::string one;   // "テスト用ロガー", the configured saver
    void SetUp() override
    {
        Napkit::SetUp();
        one = Install("logsaver.scr", "ONE.SCR");
        SetScrnsave(one);
    }
};

bool Fits(HWND control)   // a static's whole text fits its width; a missing static's does not
{
    if (!control)
        return false;
    char text[64] = "";
    RECT client = {};
    GetWindowTextA(control, text, sizeof text);
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    SelectObject(dc, (HFONT)SendMessageA(control, WM_GETFONT, 0, 0));
    int width = LOWORD(GetTabbedTextExtentA(dc, text, lstrlenA(text), 0, NULL));
    ReleaseDC(control, dc);
    return width <= client.right;
}

// What a dialog shows that a mend is about: the wait's value and whole range, the random-change box, the
// whole platforms line of About.
std::string Seen(HWND dialog, UINT command)
{
    if (command == IDM_SETTINGS)
        return IsChecked(dialog, IDC_RANDOM_AT_START) ? "random change checked" : "random change unchecked";
    if (command == IDM_ABOUT)
        return Fits(FindWindowExA(dialog, NULL, "Static", "Windows9x/Me/NT4.0/2000")) ? "whole" : "platforms cut";
    std::string seen = ControlText(dialog, IDC_VALUE_EDIT);
    if (!Fits(GetDlgItem(dialog, IDC_VALUE_RANGE)))
        seen += ", range cut";
    return seen;
}

// A full disk: SYSTEM.INI opens for writing, but profile writes to it fail while diskFull is set.
bool diskFull = false;
#ifdef _WIN64
extern "C" void* writeSlot __asm__("__imp_WritePrivateProfileStringA");   // the import the program calls through
#else
extern "C" void* writeSlot __asm__("__imp__WritePrivateProfileStringA@16");
#endif
decltype(&WritePrivateProfileStringA) realWrite;

BOOL WINAPI WriteUnlessDiskFull(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    if (!diskFull || lstrcmpiA(file, (WindowsDir() + "\\SYSTEM.INI").c_str()) != 0)
        return realWrite(section, key, value, file);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

void FillDisk(bool full)
{
    DWORD protect;
    VirtualProtect(&writeSlot, sizeof writeSlot, PAGE_READWRITE, &protect);
    if (!realWrite)
        realWrite = (decltype(realWrite))writeSlot;
    writeSlot = (void*)WriteUnlessDiskFull;
    VirtualProtect(&writeSlot, sizeof writeSlot, protect, &protect);
    diskFull = full;
}

TEST_F(Mends, DialogsShowWholeTextsAndOutOfRangeValues)
{
    // value: the key of [Action] before; ini: after the dialog was left with button
    struct Row {
        UINT command;
        const char* key;
        const char* value;
        int button;
        const char* seen;
        const char* ini;
    };
    const Row rows[] = {
        { .command = IDM_WAIT_SETTING, .key = "ScreenSaveCommandWait", .value = "-5", .button = IDCANCEL,
          .seen = "0", .ini = "0" },
        { .command = IDM_WAIT_SETTING, .key = "ScreenSaveCommandWait", .value = "120000", .button = IDCANCEL,
          .seen = "120000", .ini = "120000" },
        { .command = IDM_SETTINGS, .key = "ScreenSaver_RandomSet", .value = "2", .button = IDC_SETTINGS_OK,
          .seen = "random change unchecked", .ini = "0" },
        { .command = IDM_ABOUT, .key = "ScreenSaveCommandWait", .value = "500", .button = IDOK, .seen = "whole",
          .ini = "500" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.command) + " " + row.value);
        SetIni("Action", row.key, row.value);
        Start();
        std::string seen;
        AnswerDialogs({ [&](HWND dialog) {
            seen = Seen(dialog, row.command);
            Press(dialog, row.button);
        } });
        Command(row.command);
        EXPECT_EQ(seen, row.seen);
        EXPECT_EQ(TakeCalls(), Lines{});
        EXPECT_EQ(ReadIni(Ini(), "Action", row.key), row.ini);
        Close();
    }
}

TEST_F(Mends, SecondDialogIsNotOpenedWhileOneIs)
{
    Start();
    AnswerDialogs({ [&](HWND d) {
        TypeText(d, IDC_VALUE_EDIT, "0");
        Press(d, IDOK);   // the range box opens
        Sleep(1500);      // it has closed and emptied the field
        TypeText(d, IDC_VALUE_EDIT, "7");
        Press(d, IDOK);
    }, [](HWND d) {
        TypeText(d, IDC_VALUE_EDIT, "800");
        Press(d, IDCANCEL);
    } });
    onBox = [&](const std::string&) {
        Command(IDM_WAIT_SETTING);
        return KeepBoxOpen(300);
    };
    Command(IDM_TIMEOUT_CUSTOM);
    EXPECT_EQ(DialogsSeen(), 1) << "expected the wait dialog refused while the time-out dialog is open";
    Lines calls = {
        "box dialog 0x30 時間指定|入力範囲を超えています。(0)",
        "spi 15 420 2",
        "reg ScreenSaveTimeOut 4 420",
    };
    EXPECT_EQ(TakeCalls(), calls) << "expected the range box, then the time-out of the second try";
    EXPECT_EQ(SystemTimeout(), 420u);
    EXPECT_EQ(ReadIni(Ini(), "Action", "ScreenSaveCommandWait"), ABSENT);
    Command(IDM_WAIT_SETTING);
    EXPECT_EQ(ReadIni(Ini(), "Action", "ScreenSaveCommandWait"), "500") << "expected the wait cancelled, after an OK";
    Close();
}

TEST_F(Mends, UnwritableSystemIniIsReportedOnceAndWrittenOnceSomethingChanged)
{
    // No saver configured, and a random choice at start or not. A locked file is not even opened for writing:
    // it is written once it is free. A full disk takes the write check's probe: nothing is written until the
    // file has changed.
    struct Row {
        const char* random;   // [Action] ScreenSaver_RandomSet
        bool diskFull;
        Text writtenWhenFree;
    };
    const Row rows[] = {
        { "0", false, one },
        { "1", true, ABSENT },
    };
    std::string systemIni = WindowsDir() + "\\SYSTEM.INI";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.diskFull ? "disk full" : "locked");
        SetIni("Action", "ScreenSaver_RandomSet", row.random);
        SetScrnsave(ABSENT);
        WriteIni(systemIni, "boot", "changed", "0");   // to become "1": the same size, a new write time
        HANDLE lock = row.diskFull ? INVALID_HANDLE_VALUE : LockFile(systemIni);
        FillDisk(row.diskFull);
        Text inBox = "no box";   // SCRNSAVE.EXE while the box is open
        onBox = [&](const std::string&) {
            KeepBoxOpen(POLL_MS);   // the poll runs meanwhile
            CloseHandle(lock);
            FillDisk(false);
            KeepBoxOpen(2 * POLL_MS);
            inBox = Scrnsave();
            return IDOK;
        };
        Start();
        EXPECT_EQ(TakeCalls(), Lines{ BOX_NO_WRITE }) << "expected one box, and nothing else";
        EXPECT_EQ(inBox, ABSENT) << "expected no write while the box is open";
        EXPECT_EQ(Checks(), "40101 40205 40301") << "expected no saver checked, as SYSTEM.INI has none";
        Ticks(3);
        EXPECT_EQ(TakeCalls("box"), Lines{}) << "expected no second box";
        EXPECT_EQ(Scrnsave(), row.writtenWhenFree);
        WriteIni(systemIni, "boot", "changed", "1");   // a due random choice is made now
        Ticks(2);
        EXPECT_EQ(TakeCalls("box"), Lines{}) << "expected no box once writable";
        EXPECT_EQ(Scrnsave(), one);
        Close();
        WriteIni(systemIni, "boot", "changed", ABSENT);
    }
}

TEST_F(Mends, NothingFollowsABoxOnceTheCloseHasBegun)
{
    struct Row { UINT message; UINT command; };   // 0: an unknown saver; then a moved one, a deleted one
    const Row rows[] = { { WM_CLOSE, 0 }, { WM_ENDSESSION, IDM_SAVER_SETUP }, { WM_CLOSE, IDM_START_RANDOM } };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        Start();
        if (row.command)
            DeleteFileA(one.c_str());
        onBox = [&](const std::string&) {
            SendMessageA(window, row.message, TRUE, 0);
            SetScrnsave(ELSEWHERE);   // SYSTEM.INI changes after the close
            return KeepBoxOpen(100);
        };
        if (row.command)
            Command(row.command);
        else
            SetScrnsave("C:\\UNKNOWN.SCR");
        Ticks(2);
        Lines calls = TakeCalls();
        ASSERT_FALSE(calls.empty()) << "expected a box";
        EXPECT_EQ(calls.back().substr(0, 4), "box ") << "expected the box to be the last call: nothing after it";
        size_t boxes = 0;
        for (const std::string& call : calls)
            boxes += call.substr(0, 4) == "box ";
        EXPECT_EQ(boxes, 1u) << "expected one box";
        EXPECT_EQ(Scrnsave(), ELSEWHERE) << "expected nothing written after the close";
        ExpectEnded();
        one = Install("logsaver.scr", "ONE.SCR");
        SetScrnsave(one);
    }
}

TEST_F(Mends, ClosedAtOnceItWritesOnlyAChosenSaverWithOneSeparator)
{
    CreateDirectoryA("C:\\saverbox", NULL);
    std::string atRoot = Install("logsaver.scr", "ONE.SCR", "C:\\saverbox");
    struct Row { std::string dir; const char* before; const char* after; };   // an unknown saver, none, a root
    for (const Row& row : { Row{ folder, ELSEWHERE, ELSEWHERE }, Row{ folder, ABSENT, ABSENT },
                            Row{ "C:\\", ABSENT, "C:\\saverbox\\ONE.SCR" } }) {
        SCOPED_TRACE(row.dir);
        if (row.after == ABSENT)
            DeleteFileA(one.c_str());
        SetScrnsave(row.before);
        Program napkit("", row.dir);
        PostMessageA(napkit.Window(5000), WM_CLOSE, 0, 0);   // dispatched by a box at start
        EXPECT_EQ(napkit.Wait(10000), 0u);
        // The box at start may end with the program before the watcher sees it.
        EXPECT_LE(napkit.Boxes().size(), 1u) << "expected at most the box at start";
        EXPECT_EQ(Scrnsave(), row.after);
    }
    DeleteFileA(atRoot.c_str());
    RemoveDirectoryA("C:\\saverbox");
}

}  // namespace
