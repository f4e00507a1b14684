// The savers of the three folders: their menu names, matching SYSTEM.INI at
// start and on every poll, choosing one, random choice, running them, and
// the limits of the catalogue. Three savers, one per folder, give known
// indexes: 1 saverbox, 2 system directory, 3 Windows directory. The clock is
// fixed where a random pick matters: at second 1000 a pick of three is 2, at
// second 1004 it is 3 (of two, 2).
#include "harness.h"
#include <algorithm>

namespace {

constexpr char UNKNOWN_BOX[] = "box none 0x1000 NAPKIT|現在設定されているスクリーンセーバーが未知の物です。\n取得している情報を更新します。";
constexpr char DELETED_BOX[] = "box main 0x30 NAPKIT|ファイルが削除もしくは移動されています。\nスクリーンセーバーの情報を更新します。";

std::string Quoted(const std::string& path, const char* args = "") { return "\"" + path + "\"" + args; }
std::string WithSaver(UINT id) { return "40101 40205 40301 " + std::to_string(id); }

struct Catalogue : Napkit {
    std::string a, b, c;   // ALPHA, BETA, GAMMA
    void SetUp() override
    {
        Napkit::SetUp(), SetScrnsave(a = Install("logsaver.scr", "ALPHA.SCR"));
        b = Install("logsaver.scr", "BETA.SCR", SystemDir()), c = Install("logsaver.scr", "GAMMA.SCR", WindowsDir());
        SetIni("Action", "UseSaverName", "0"), SetIni("Action", "ScreenSaveCommandWait", "300");
    }
};

TEST_F(Catalogue, NamesComeFromTheSaverOrItsFileName)
{
    const char* long65 = "A file name of sixty-five bytes that a 63-byte label would cut off";
    // configured: the path by its 8.3 alias, or by its long name as NT's display settings write it
    const struct { const char* built; std::string file; const char* useName; bool longPath; std::string label; } rows[] = {
        { "logsaver.scr", "LOG.SCR", nullptr, false, "テスト用ロガー" }, { "logsaver.scr", "LOG.SCR", "0", false, "LOG" },
        { "nameless.scr", "Plain Name.scr", "1", false, "Plain Name" }, { "emptyname.scr", "EMPTY.SCR", "1", false, "EMPTY" },
        { "logsaver.scr", "Long Name.scr", "1", true, "テスト用ロガー" }, { "nameless.scr", long65 + std::string(".scr"), "1", true, long65 },
        { "nameless.scr", "Tom & Jerry.scr", "1", true, "Tom && Jerry" },   // "&&" shows as "&"
        // 82 bytes cut to 63 would end in the lead byte of "め": 62 are kept.
        { "longname.scr", "LONG.SCR", "1", false, "ABとても長い名前のスクリーンセーバーで表示名の切り詰め方を確か" },
        // 81 bytes: 63 end on a whole character.
        { "oddname.scr", "ODD.SCR", "1", false, "Aとても長い名前のスクリーンセーバーで表示名の切り詰め方を確かめ" },
    };
    DeleteFileA(a.c_str());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        std::string alias = Install(row.built, row.file);
        SetScrnsave(row.longPath ? saverbox + "\\" + row.file : alias), SetIni("Action", "UseSaverName", row.useName);
        Start(), Ticks(1);
        EXPECT_EQ(TakeCalls("box"), Lines{});
        EXPECT_EQ(MenuText(41001), row.label);
        EXPECT_EQ(Checks(), WithSaver(41001));
        Close(), DeleteFileA(alias.c_str());
    }
}

TEST_F(Catalogue, StartMatchesSystemIniOrPicksAtRandom)
{
    const struct { const char* name; std::string configured; const char* randomSet; UINT checked; Lines calls; std::string written; } rows[] = {
        { "match, other case", "c:\\windows\\gamma.scr", nullptr, 41003, {}, "c:\\windows\\gamma.scr" },
        { "absent", ABSENT, "0", 41002, {}, b },
        { "random at start", c, "1", 41002, {}, b },
        { "random set 2 acts as 0", c, "2", 41003, {}, c },
        { "unknown", "C:\\GONE.SCR", "0", 41002, { UNKNOWN_BOX }, b },
    };
    FixClock(1000);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetScrnsave(row.configured), SetIni("Action", "ScreenSaver_RandomSet", row.randomSet), Start();
        EXPECT_EQ(TakeCalls("box"), row.calls);
        EXPECT_EQ(Checks(), WithSaver(row.checked));
        EXPECT_EQ(Scrnsave(), row.written);
        Close();
    }
}

TEST_F(Catalogue, PollFollowsSystemIniChangedElsewhere)
{
    FixClock(1000), Start(), SetScrnsave(c), Ticks(1);
    EXPECT_EQ(Checks(), WithSaver(41003));
    TakeCalls(), SetScrnsave("C:\\WINDOWS\\GAMMA.SCR"), Ticks(1);
    EXPECT_EQ(TakeCalls(), Lines{}) << "a change of case is no change";
    // Read while another program rewrites it: the second read finds it whole.
    onSleep = [this](DWORD) { SetScrnsave("C:\\WINDOWS\\GAMMA.SCR"); };
    SetScrnsave("C:\\HALF"), Ticks(1), onSleep = nullptr;
    EXPECT_EQ(TakeCalls("box"), Lines{});
    // An unknown saver: one box however long it stays open, then a new pick.
    onBox = [](const std::string&) { return KeepBoxOpen(3 * POLL_MS); };
    SetScrnsave("C:\\GONE.SCR"), Ticks(1);
    EXPECT_EQ(TakeCalls("box"), Lines{ UNKNOWN_BOX });
    EXPECT_EQ(Scrnsave(), b);
    EXPECT_EQ(Checks(), WithSaver(41002));
}

TEST_F(Catalogue, ChoosingASaverWritesAndAnnouncesIt)
{
    const struct { const char* name, *flags; void (Napkit::*act)(UINT); UINT id; Lines calls; std::string written; UINT checked; } rows[] = {
        { "with box", nullptr, &Napkit::Command, 41002, { "spi 17 1 2", "box main 0x0 NAPKIT|スクリーンセーバーを「 BETA 」に変更しました。" }, b, 41002 },
        { "without box", "1", &Napkit::Command, 41003, { "spi 17 1 2" }, c, 41003 },
        { "the checked one", "3", &Napkit::Command, 41001, {}, a, 41001 },
        { "no such saver", "3", &Napkit::Command, 41004, {}, a, 41001 },
        { "random change", "3", &Napkit::Command, 41950, {}, c, 41003 },
        { "random change key", "3", &Napkit::HotKey, 41950, {}, c, 41003 },
        { "refresh key: other checks kept", "3", &Napkit::HotKey, 42030, {}, c, 41003 },
        { "random start key", "3", &Napkit::HotKey, 42010, { "sleep 300", "exec 1 " + Quoted(c, " /s") }, a, 41001 },
        { "saver settings", "3", &Napkit::Command, 41900, { "exec 10 " + Quoted(a) }, a, 41001 },
    };
    FixClock(1004);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Message", "OpenMessageBox", row.flags), Start(), TakeCalls(), (this->*row.act)(row.id);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Scrnsave(), row.written);
        EXPECT_EQ(Checks(), WithSaver(row.checked));
        Close(), SetScrnsave(a);
    }
    Lines log = SaverLog(2);   // the two started: either may write first
    EXPECT_EQ((std::sort(log.begin(), log.end()), log), (Lines{ Quoted(a), Quoted(c, " /s") }));
}

TEST_F(Catalogue, MissingSaversAreReportedAndTheCatalogueRebuilt)
{
    FixClock(1004), Start(), DeleteFileA(c.c_str());
    Command(42010);   // picks GAMMA, gone: of the two left it picks BETA
    EXPECT_EQ(TakeCalls(), (Lines{ "sleep 300", "exec 1 " + Quoted(c, " /s"), DELETED_BOX,
                                   "sleep 300", "exec 1 " + Quoted(b, " /s") }));
    EXPECT_EQ(Scrnsave(), b);
    SetScrnsave(a), Ticks(1), TakeCalls(), DeleteFileA(a.c_str()), Command(41900);
    EXPECT_EQ(TakeCalls(), (Lines{ "exec 10 " + Quoted(a),
        "box main 0x30 NAPKIT|ファイルが移動されました。スクリーンセーバーの情報を更新します。" }));
    EXPECT_EQ(Checks(), WithSaver(41001)) << "BETA alone is left";
    // Savers that exist but never run: three retries, then it gives up.
    WriteBytes(b, ""), WriteBytes(c, ""), Command(42030), TakeCalls(), Command(42010);
    EXPECT_EQ(TakeCalls("box"), Lines(4, DELETED_BOX));
}

TEST_F(Catalogue, LimitsOfPathsAndCount)
{
    // Full paths of 259 characters are listed, of 260 passed over.
    DeleteFileA(a.c_str());
    for (size_t length : { 259u, 260u })
        Install("logsaver.scr", std::string(length - saverbox.size() - 5, 'L') + ".scr");
    EXPECT_NE((Start(), MenuText(41003)), ABSENT);
    EXPECT_EQ(MenuText(41004), ABSENT) << "a path of 260 characters was listed";
    Close();
    for (int i = 1; i < 899; ++i)
        CopyFileA(SaverFile("logsaver.scr").c_str(), (saverbox + "\\S" + std::to_string(i) + ".SCR").c_str(), FALSE);
    Start();   // 901 with the long one, BETA and GAMMA
    EXPECT_NE(MenuText(41899), ABSENT);
    EXPECT_EQ(MenuText(41900), SAVER_SETTINGS_ITEM) << "a 900th saver took the id of the saver settings";
}

TEST_F(Catalogue, NoSaverAtAllEndsTheProgram)
{
    DeleteFileA(a.c_str()), DeleteFileA(b.c_str()), DeleteFileA(c.c_str());
    SetScrnsave(ABSENT), SetIni("HotKeys", "EnableHotKeys", "1"), Start();
    EXPECT_EQ(TakeCalls("box"), Lines{ "box none 0x1000 NAPKIT|スクリーンセーバーが１つもありません。\n"
        "一度終了しますので、スクリーンセーバーをインストールした後に\n「NAPKIT」を再度実行して下さい。" });
    ExpectEnded();
    EXPECT_EQ(Scrnsave(), ABSENT);
    EXPECT_TRUE(RegisterHotKey(NULL, 1, MOD_CONTROL | MOD_ALT, 'Z') && UnregisterHotKey(NULL, 1)) << "a hot key was registered";
}

}  // namespace
