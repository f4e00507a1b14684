// The savers of the three folders: their menu names and order, matching
// SYSTEM.INI at start and on every poll, choosing one, random choice,
// running them, and the limits of the catalogue. Three savers, one per
// folder, give known indexes: 1 saverbox, 2 system directory, 3 Windows
// directory. The clock is fixed where a random pick matters: at second 1000
// a pick of three is 2, at second 1004 it is 3 (of two, 2).
#include "harness.h"
#include <algorithm>

namespace {

constexpr char UNKNOWN_BOX[] = "box none 0x1000 NAPKIT|"
                               "現在設定されているスクリーンセーバーが未知の物です。\n"
                               "取得している情報を更新します。";
constexpr char DELETED_BOX[] = "box main 0x30 NAPKIT|ファイルが削除もしくは移動されています。\n"
                               "スクリーンセーバーの情報を更新します。";

constexpr char MOVED_BOX[] = "box main 0x30 NAPKIT|ファイルが移動されました。"
                             "スクリーンセーバーの情報を更新します。";

std::string Changed(const char* stem)
{
    return std::string("スクリーンセーバーを「 ") + stem + " 」に変更しました。";
}
constexpr char NO_FILE[] = "<no file>";
std::string Quoted(const std::string& path, const char* args = "") { return "\"" + path + "\"" + args; }
// The checks with saver id, the time-out of 5 minutes and the screen saver on (stateItem 40301) or off (40302).
std::string WithSaver(UINT id, UINT stateItem = 40301)
{
    return "40101 40205 " + std::to_string(stateItem) + " " + std::to_string(id);
}

struct Catalogue : Napkit {
    std::string a, b, c;   // ALPHA, BETA, GAMMA
    void SetUp() override
    {
        Napkit::SetUp();
        a = Install("logsaver.scr", "ALPHA.SCR");
        b = Install("logsaver.scr", "BETA.SCR", SystemDir());
        c = Install("logsaver.scr", "GAMMA.SCR", WindowsDir());
        SetScrnsave(a);
        SetIni("Action", "UseSaverName", "0");
        SetIni("Action", "ScreenSaveCommandWait", "300");
    }
};

TEST_F(Catalogue, MenuListsTheSaversFoundLastFirstAmongTheCommands)
{
    const Lines layout = {
        "-",
        "スクリーンセーバー起動 >",
        "  通常起動 42000",
        "  ランダム起動 42010",
        "ウエイト設定 42020",
        "スクリーンセーバー変更 >",
        "  GAMMA 41003",
        "  BETA 41002",
        "  ALPHA 41001",
        "  -",
        "  設定 41900",
        "  ランダムチェンジ 41950",
        "-",
        "スクリーンセーバーの状態 >",
        "   [ ＯＮ ] 40301",
        "   [ ＯＦＦ ] 40302",
        "  -",
        "  ３０分間オフ 40310",
        "  １時間オフ 40311",
        "  ２時間オフ 40312",
        "  -",
        "  パスワードで保護 40320",
        "  全画面表示中はオフ 40321",
        "待ち時間 >",
        "  ５分 40205",
        "  １０分 40210",
        "  １５分 40215",
        "  ２０分 40220",
        "  ３０分 40230",
        "  ６０分 40260",
        "  -",
        "  任意 40200",
        "ダブルクリック動作 >",
        "  スクリーンセーバー起動 40100",
        "  有効／無効  切り替え 40101",
        "-",
        "リフレッシュ 42030",
        "設定 42040",
        "-",
        "バージョン情報(&A) 42050",
        "終了(&X) 42060",
        "-",
    };
    Start();
    EXPECT_EQ(MenuLayout(), layout) << "the Windows directory's savers first, then the system's, then saverbox's";
    EXPECT_EQ(TakeCalls(), Lines{});
    Close();
}

TEST_F(Catalogue, NamesComeFromTheSaverOrItsFileName)
{
    const std::string long65 = "A file name of sixty-five bytes that a 63-byte label would cut off";
    struct Row {
        const char* built;
        std::string file;
        const char* useName;   // [Action] UseSaverName
        bool longPath;   // configured by its long name, as NT's display settings write it; else by its 8.3 alias
        const char* label;
    };
    const Row rows[] = {
        { .built = "logsaver.scr", .file = "LOG.SCR", .useName = nullptr, .longPath = false,
          .label = "テスト用ロガー" },
        { .built = "logsaver.scr", .file = "LOG.SCR", .useName = "0", .longPath = false, .label = "LOG" },
        { .built = "nameless.scr", .file = "Plain Name.scr", .useName = "1", .longPath = false, .label = "Plain Name" },
        { .built = "emptyname.scr", .file = "EMPTY.SCR", .useName = "1", .longPath = false, .label = "EMPTY" },
        { .built = "logsaver.scr", .file = "Long Name.scr", .useName = "1", .longPath = true,
          .label = "テスト用ロガー" },
        { .built = "nameless.scr", .file = long65 + ".scr", .useName = "1", .longPath = true, .label = long65.c_str() },
        // "&&" shows as "&"
        { .built = "nameless.scr", .file = "Tom & Jerry.scr", .useName = "1", .longPath = true,
          .label = "Tom && Jerry" },
        // 82 bytes cut to 63 would end in the lead byte of "め": 62 are kept.
        { .built = "longname.scr", .file = "LONG.SCR", .useName = "1", .longPath = false,
          .label = "ABとても長い名前のスクリーンセーバーで表示名の切り詰め方を確か" },
        // 81 bytes: 63 end on a whole character.
        { .built = "oddname.scr", .file = "ODD.SCR", .useName = "1", .longPath = false,
          .label = "Aとても長い名前のスクリーンセーバーで表示名の切り詰め方を確かめ" },
    };
    DeleteFileA(a.c_str());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        std::string alias = Install(row.built, row.file);
        SetScrnsave(row.longPath ? saverbox + "\\" + row.file : alias);
        SetIni("Action", "UseSaverName", row.useName);
        Start();
        Ticks(1);
        EXPECT_EQ(TakeCalls(), Lines{}) << "the saver configured is known, at start and on the poll";
        EXPECT_EQ(MenuText(41001), row.label);
        EXPECT_EQ(Checks(), WithSaver(41001));
        Close();
        DeleteFileA(alias.c_str());
    }
}

TEST_F(Catalogue, StartMatchesSystemIniOrPicksAtRandom)
{
    struct Row {
        const char* name;
        std::string configured;
        const char* randomSet;   // [Action] ScreenSaver_RandomSet
        UINT checked;
        Lines calls;
        std::string written;
    };
    const Row rows[] = {
        { .name = "match, other case", .configured = "c:\\windows\\gamma.scr", .randomSet = nullptr,
          .checked = 41003, .calls = {}, .written = "c:\\windows\\gamma.scr" },
        { .name = "absent", .configured = ABSENT, .randomSet = "0", .checked = 41002, .calls = {}, .written = b },
        { .name = "random at start", .configured = c, .randomSet = "1", .checked = 41002, .calls = {}, .written = b },
        { .name = "random set 2 acts as 0", .configured = c, .randomSet = "2", .checked = 41003, .calls = {},
          .written = c },
        { .name = "unknown", .configured = "C:\\GONE.SCR", .randomSet = "0", .checked = 41002,
          .calls = { UNKNOWN_BOX }, .written = b },
        { .name = "no SYSTEM.INI: created", .configured = NO_FILE, .randomSet = "0", .checked = 41002, .calls = {},
          .written = b },
    };
    FixClock(1000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.configured == NO_FILE)
            DeleteFileA((WindowsDir() + "\\SYSTEM.INI").c_str());
        else
            SetScrnsave(row.configured);
        SetIni("Action", "ScreenSaver_RandomSet", row.randomSet);
        Start();
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Checks(), WithSaver(row.checked));
        EXPECT_EQ(Scrnsave(), row.written);
        Close();
    }
}

TEST_F(Catalogue, PollFollowsSystemIniChangedElsewhere)
{
    FixClock(1000);
    Start();
    SetScrnsave(c);
    Ticks(1);
    EXPECT_EQ(TakeCalls(), Lines{ "sleep 50" }) << "a change is read a second time, 50 ms later";
    EXPECT_EQ(Checks(), WithSaver(41003));
    SetScrnsave("C:\\WINDOWS\\GAMMA.SCR");
    Ticks(1);
    EXPECT_EQ(TakeCalls(), Lines{}) << "a change of case is no change";
    // Read while another program rewrites it: the second read finds it whole.
    onSleep = [this](DWORD) { SetScrnsave("C:\\WINDOWS\\GAMMA.SCR"); };
    SetScrnsave("C:\\HALF");
    Ticks(1);
    onSleep = nullptr;
    EXPECT_EQ(TakeCalls(), Lines{ "sleep 50" }) << "no box for a file read while it was being written";
    // An unknown saver: one box however long it stays open, then a new pick.
    onBox = [](const std::string&) { return KeepBoxOpen(3 * POLL_MS); };
    SetScrnsave("C:\\GONE.SCR");
    Ticks(1);
    EXPECT_EQ(TakeCalls(), (Lines{ "sleep 50", UNKNOWN_BOX }));
    EXPECT_EQ(Scrnsave(), b);
    EXPECT_EQ(Checks(), WithSaver(41002));
    Close();
}

TEST_F(Catalogue, ChoosingASaverWritesAndAnnouncesIt)
{
    struct Row {
        const char* name;
        const char* flags;     // [Message] OpenMessageBox
        const char* useName;   // [Action] UseSaverName
        void (Napkit::*act)(UINT);
        UINT id;
        Lines calls;
        std::string written;
        UINT checked;
        UINT active = 1;
    };
    const Row rows[] = {
        { .name = "with box", .flags = nullptr, .useName = "0", .act = &Napkit::Command, .id = 41002,
          .calls = { "spi 17 1 2", "box main 0x0 NAPKIT|" + Changed("BETA") },
          .written = b, .checked = 41002 },
        { .name = "with box, menu showing display names", .flags = nullptr, .useName = "1",
          .act = &Napkit::Command, .id = 41003,
          .calls = { "spi 17 1 2", "box main 0x0 NAPKIT|" + Changed("GAMMA") },
          .written = c, .checked = 41003 },
        { .name = "without box, the screen saver off", .flags = "1", .useName = "0", .act = &Napkit::Command,
          .id = 41003, .calls = { "spi 17 0 2" }, .written = c, .checked = 41003, .active = 0 },
        { .name = "the checked one", .flags = "3", .useName = "0", .act = &Napkit::Command, .id = 41001,
          .calls = {}, .written = a, .checked = 41001 },
        { .name = "no such saver", .flags = "3", .useName = "0", .act = &Napkit::Command, .id = 41004,
          .calls = {}, .written = a, .checked = 41001 },
        { .name = "random change", .flags = "3", .useName = "0", .act = &Napkit::Command, .id = 41950,
          .calls = {}, .written = c, .checked = 41003 },
        { .name = "random change key", .flags = "3", .useName = "0", .act = &Napkit::HotKey, .id = 41950,
          .calls = {}, .written = c, .checked = 41003 },
        { .name = "refresh key: other checks kept", .flags = "3", .useName = "0", .act = &Napkit::HotKey,
          .id = 42030, .calls = {}, .written = c, .checked = 41003 },
        { .name = "random start key", .flags = "3", .useName = "0", .act = &Napkit::HotKey, .id = 42010,
          .calls = { "sleep 300", "exec 1 " + Quoted(c, " /s") }, .written = a, .checked = 41001 },
        { .name = "saver settings", .flags = "3", .useName = "0", .act = &Napkit::Command, .id = 41900,
          .calls = { "exec 10 " + Quoted(a) }, .written = a, .checked = 41001 },
    };
    FixClock(1004);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetIni("Message", "OpenMessageBox", row.flags);
        SetIni("Action", "UseSaverName", row.useName);
        SetSystemActive(row.active);
        Start();
        (this->*row.act)(row.id);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Scrnsave(), row.written);
        EXPECT_EQ(Checks(), WithSaver(row.checked, row.active ? 40301 : 40302));
        Close();
        SetScrnsave(a);
    }
    Lines log = SaverLog(2);
    std::sort(log.begin(), log.end());   // the two started: either may write first
    EXPECT_EQ(log, (Lines{ Quoted(a), Quoted(c, " /s") }));
}

TEST_F(Catalogue, MissingSaversAreReportedAndTheCatalogueRebuilt)
{
    FixClock(1004);
    Start();
    DeleteFileA(c.c_str());
    Command(42010);   // picks GAMMA, gone: of the two left it picks BETA
    Lines calls = { "sleep 300", "exec 1 " + Quoted(c, " /s"), DELETED_BOX, "sleep 300", "exec 1 " + Quoted(b, " /s") };
    EXPECT_EQ(TakeCalls(), calls);
    EXPECT_EQ(Scrnsave(), b);
    SetScrnsave(a);
    Ticks(1);
    EXPECT_EQ(TakeCalls(), Lines{ "sleep 50" }) << "a change is read a second time, 50 ms later";
    DeleteFileA(a.c_str());
    Command(41900);
    calls = { "exec 10 " + Quoted(a), MOVED_BOX };
    EXPECT_EQ(TakeCalls(), calls);
    EXPECT_EQ(Checks(), WithSaver(41001)) << "BETA alone is left";
    // Savers that exist but never run: the first try and three retries, then it gives up.
    WriteBytes(b, "");
    WriteBytes(c, "");
    Command(42030);
    Command(42010);
    EXPECT_EQ(TakeCalls("box"), Lines(4, DELETED_BOX));
    EXPECT_EQ(TakeCalls("exec").size(), 4u) << "four starts";
    EXPECT_EQ(TakeCalls("sleep").size(), 4u) << "a wait before each start";
    Close();
}

TEST_F(Catalogue, LimitsOfPathsAndCount)
{
    // Full paths of 259 characters are listed, of 260 passed over.
    DeleteFileA(a.c_str());
    for (size_t length : { 259u, 260u })
        Install("logsaver.scr", std::string(length - saverbox.size() - 5, 'L') + ".scr");
    Start();
    EXPECT_EQ(TakeCalls(), Lines{ UNKNOWN_BOX }) << "ALPHA is gone";
    EXPECT_NE(MenuText(41003), ABSENT) << "a path of 259 characters was passed over";
    EXPECT_EQ(MenuText(41004), ABSENT) << "a path of 260 characters was listed";
    Close();
    for (int i = 1; i < 899; ++i)
        CopyFileA(SaverFile("logsaver.scr").c_str(), (saverbox + "\\S" + std::to_string(i) + ".SCR").c_str(), FALSE);
    SetScrnsave(saverbox + "\\S1.SCR");
    Start();   // 901 with the long one, BETA and GAMMA
    EXPECT_NE(MenuText(41899), ABSENT) << "the 899th saver was not listed";
    EXPECT_EQ(MenuText(41900), "設定") << "a 900th saver took the id of the saver settings";
    EXPECT_EQ(TakeCalls(), Lines{}) << "S1.SCR is known";
    Close();
}

TEST_F(Catalogue, SaversRunFromAnyFolderTheProgramRunsIn)
{
    const struct {
        const char* name;
        std::string dir;   // the current directory, where saverbox is
    } rows[] = {
        { "a folder whose name ends in 表 (second byte 0x5C)", folder + "\\表" },
        { "a saver path of 259 characters", folder + "\\" + std::string(244 - folder.size() - 1, 'D') },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string box = row.dir + "\\saverbox";
        ASSERT_TRUE(CreateDirectoryA(row.dir.c_str(), NULL)) << "cannot create " << row.dir;
        ASSERT_TRUE(CreateDirectoryA(box.c_str(), NULL)) << "cannot create " << box;
        ASSERT_TRUE(SetCurrentDirectoryA(row.dir.c_str()));
        std::string saver = Install("nameless.scr", "X.SCR", box);
        SetScrnsave(saver);
        Start();
        EXPECT_EQ(TakeCalls(), Lines{}) << "the saver configured is known";
        Command(41900);
        EXPECT_EQ(TakeCalls(), Lines{ "exec 10 " + Quoted(saver) });
        EXPECT_EQ(SaverLog(1), Lines{ Quoted(saver) });
        Close();
        DeleteFileA((folder + "\\saver.log").c_str());
    }
}

TEST_F(Catalogue, NoSaverAtAllEndsTheProgram)
{
    DeleteFileA(a.c_str());
    DeleteFileA(b.c_str());
    DeleteFileA(c.c_str());
    RemoveDirectoryA(saverbox.c_str());
    SetScrnsave(ABSENT);
    Start();
    Lines box = { "box none 0x1000 NAPKIT|スクリーンセーバーが１つもありません。\n"
                  "一度終了しますので、スクリーンセーバーをインストールした後に\n"
                  "「NAPKIT」を再度実行して下さい。" };
    EXPECT_EQ(TakeCalls(), box);
    ExpectEnded();
    EXPECT_EQ(Scrnsave(), ABSENT);
    EXPECT_NE(GetFileAttributesA(saverbox.c_str()), INVALID_FILE_ATTRIBUTES) << "saverbox was not created";
}

}  // namespace
