// Faults mended in dialogs, SYSTEM.INI writes, closes, the menu and paths.
#include "harness.h"
#include "app/app.h"
#include "res/resource.h"

namespace {

constexpr char BOX_NO_WRITE[] = "box main 0x30 NAPKIT|SYSTEM.INI に書き込めませんでした。\n"
                                "スクリーンセーバーの設定は変更されていません。";
constexpr char ELSEWHERE[] = "C:\\ELSEWHERE.SCR";
constexpr char CHECKS[] = "40101 40205 40301 41001";

struct Mends : Napkit {
    std::string one;   // "テスト用ロガー", the configured saver
    void SetUp() override { Napkit::SetUp(), SetScrnsave(one = Install("logsaver.scr", "ONE.SCR")); }
};

int Overflow(HWND control)   // pixels a static's text needs beyond its width
{
    char text[64] = "";   // NULL (no such control): 0
    RECT client = {};
    HDC dc = GetDC(control);
    GetWindowTextA(control, text, sizeof text), GetClientRect(control, &client);
    SelectObject(dc, (HFONT)SendMessageA(control, WM_GETFONT, 0, 0));
    int width = LOWORD(GetTabbedTextExtentA(dc, text, lstrlenA(text), 0, NULL));
    return ReleaseDC(control, dc), control ? width - client.right : 0;
}

TEST_F(Mends, DialogsShowWholeTextsAndChangeOnlyWhatWasConfirmed)
{
    struct Row { UINT seconds, command; const char* key, *value, *typed; int button; UINT after; const char* registry, *ini; };
    for (const Row& row : { Row{ 90, IDM_TIMEOUT_CUSTOM, "ScreenSaveCommandWait", "500", "", IDCANCEL, 90, ABSENT, "500" },
                            Row{ 300, IDM_TIMEOUT_CUSTOM, "ScreenSaveCommandWait", "500", "7", IDOK, 420, "420", "500" },
                            Row{ 300, IDM_WAIT_SETTING, "ScreenSaveCommandWait", "-5", "", IDCANCEL, 300, ABSENT, "0" },
                            Row{ 300, IDM_SETTINGS, "ScreenSaver_RandomSet", "2", "", IDC_SETTINGS_OK, 300, ABSENT, "0" },
                            Row{ 300, IDM_SETTINGS, "ScreenSaver_RandomSet", "1", "1", IDC_SETTINGS_OK, 300, ABSENT, "1" },
                            Row{ 300, IDM_ABOUT, "ScreenSaveCommandWait", "500", "", IDOK, 300, ABSENT, "500" } }) {
        SetDesktopValue("ScreenSaveTimeOut", ABSENT), SetSystemTimeout(row.seconds);
        SetIni("Action", row.key, row.value), Start();
        bool checked = false;   // random change, expected for typed "1"; texts beyond their controls:
        int overflow = 0;       // the platforms line, the wait's range
        AnswerDialogs({ [&](HWND d) {
            checked = IsChecked(d, IDC_RANDOM_AT_START);
            if (row.command != IDM_TIMEOUT_CUSTOM)
                overflow = Overflow(GetDlgItem(d, IDC_VALUE_RANGE))
                           + Overflow(FindWindowExA(d, NULL, "Static", "Windows9x/Me/NT4.0/2000"));
            else if (row.typed[0])
                TypeText(d, IDC_VALUE_EDIT, row.typed);
            Press(d, row.button);
        } });
        Command(row.command);
        Lines timeoutSet = { "spi 15 420 2", "reg ScreenSaveTimeOut 4 420" };
        EXPECT_EQ(TakeCalls(), row.after == 420 ? timeoutSet : Lines{});
        EXPECT_EQ(SystemTimeout(), row.after) << row.command << row.value;
        EXPECT_EQ(DesktopValue("ScreenSaveTimeOut"), row.registry == ABSENT ? ABSENT : Sz(row.registry));
        EXPECT_EQ(ReadIni(Ini(), "Action", row.key), row.ini) << row.value;
        EXPECT_EQ(checked, row.typed[0] == '1');
        EXPECT_LE(overflow, 0);
        Close();
    }
}

TEST_F(Mends, SecondDialogIsNotOpenedWhileOneIs)
{
    const std::string Range0 = "box dialog 0x30 時間指定|入力範囲を超えています。(0)";
    Start();
    AnswerDialogs({ [&](HWND d) {
        TypeText(d, IDC_VALUE_EDIT, "0"), Press(d, IDOK);   // the range box opens
        Sleep(1500);   // it has closed and emptied the field
        TypeText(d, IDC_VALUE_EDIT, "7"), Press(d, IDOK);
    }, [](HWND d) { TypeText(d, IDC_VALUE_EDIT, "9"), Press(d, IDOK); } });
    onBox = [&](const std::string&) { return Command(IDM_WAIT_SETTING), KeepBoxOpen(300); };
    Command(IDM_TIMEOUT_CUSTOM);
    EXPECT_EQ(DialogsSeen(), 1);
    Lines calls = { Range0, "spi 15 420 2", "reg ScreenSaveTimeOut 4 420" };
    EXPECT_EQ(TakeCalls(), calls);
    EXPECT_EQ(SystemTimeout(), 420u);
    EXPECT_EQ(ReadIni(Ini(), "Action", "ScreenSaveCommandWait"), ABSENT);
    Close();
}

TEST_F(Mends, UnwritableSystemIniIsReportedOnceAndWrittenWhenWritable)
{
    struct Row { const char* random; bool keyAbsent, choose; };   // choice, random at start, key absent
    for (const Row& row : { Row{ "0", false, true }, Row{ "1", false, false }, Row{ "0", true, false } }) {
        SetIni("Action", "ScreenSaver_RandomSet", row.random);
        SetScrnsave(row.keyAbsent ? ABSENT : one);
        std::string two = row.choose ? Install("nameless.scr", "TWO.SCR") : "";
        HANDLE lock = LockFile(WindowsDir() + "\\SYSTEM.INI");
        bool twoFirst = (Start(), MenuText(41001) == "TWO");
        Command(row.choose ? (twoFirst ? 41001 : 41002) : 0);   // 0: no command
        EXPECT_EQ(TakeCalls(), Lines{ BOX_NO_WRITE }) << row.random << row.keyAbsent;
        EXPECT_EQ(Checks(), row.keyAbsent ? "40101 40205 40301" : twoFirst ? "40101 40205 40301 41002" : CHECKS);
        Ticks(3), CloseHandle(lock), Ticks(2);   // writable again: a due random choice is made
        EXPECT_EQ(TakeCalls("box"), Lines{});
        EXPECT_EQ(Scrnsave(), one);
        Close(), DeleteFileA(two.c_str());
    }
}

TEST_F(Mends, NothingFollowsABoxOnceTheCloseHasBegun)
{
    struct Row { UINT message, command; };   // an unknown saver, a moved one, a deleted one
    for (const Row& row : { Row{ WM_CLOSE, 0 }, Row{ WM_ENDSESSION, IDM_SAVER_SETUP }, Row{ WM_CLOSE, IDM_START_RANDOM } }) {
        Start(), DeleteFileA((row.command ? one : "").c_str());   // then SYSTEM.INI changes after the close:
        onBox = [&](const std::string&) {
            return SendMessageA(window, row.message, TRUE, 0), SetScrnsave(ELSEWHERE), KeepBoxOpen(100); };
        row.command ? Command(row.command) : (SetScrnsave("C:\\UNKNOWN.SCR"), Ticks(2));
        EXPECT_EQ(TakeCalls("box").size(), 1u) << row.command;
        TakeCalls();   // the poll's second read, or the start before the box
        EXPECT_EQ(Scrnsave(), ELSEWHERE);
        ExpectEnded();
        SetScrnsave(one = Install("logsaver.scr", "ONE.SCR"));
    }
}

TEST_F(Mends, ClosedAtOnceItWritesOnlyAChosenSaverWithOneSeparator)
{
    std::string atRoot = (CreateDirectoryA("C:\\saverbox", NULL), Install("logsaver.scr", "ONE.SCR", "C:\\saverbox"));
    struct Row { std::string dir; const char* before, *after; };   // an unknown saver, none at all, a root
    for (const Row& row : { Row{ folder, ELSEWHERE, ELSEWHERE }, Row{ folder, ABSENT, ABSENT },
                            Row{ "C:\\", ABSENT, "C:\\saverbox\\ONE.SCR" } }) {
        DeleteFileA((row.after == ABSENT ? one : "").c_str());
        SetScrnsave(row.before);
        Program napkit("", row.dir);
        PostMessageA(napkit.Window(5000), WM_CLOSE, 0, 0);   // dispatched by a box at start
        EXPECT_EQ(napkit.Wait(10000), 0u);
        napkit.Boxes();   // the box at start may end with the program before it is seen
        EXPECT_EQ(Scrnsave(), row.after);
    }
    DeleteFileA(atRoot.c_str()), RemoveDirectoryA("C:\\saverbox");
}

}  // namespace
