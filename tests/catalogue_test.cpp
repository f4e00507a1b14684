// The savers of the three folders: their menu names and order, matching SYSTEM.INI at start and on every poll,
// choosing one, random choice, running them, and the limits of the catalogue. Three savers, one per folder, give
// known indexes: 1 saverbox, 2 system directory, 3 Windows directory. The clock is fixed where a random pick
// matters: at second 1000 a pick of three is 2, at second 1004 it is 3 (of two, 2).
#include "harness.h"
#include <algorithm>

namespace {

constexpr char DELETED_BOX[] = "box main 0x30 NAPKIT|ファイルが削除もしくは移動されています。\n"
                               "スクリーンセーバーの情報を更新します。";

constexpr char BOX_NO_WRITE[] = "box main 0x30 NAPKIT|SYSTEM.INI に書き込めませんでした。\n"
                                "スクリーンセーバーの設定は変更されていません。";
constexpr char ELSEWHERE[] = "C:\\ELSEWHERE.SCR";
constexpr char MOVED_BOX[] = "box main 0x30 NAPKIT|ファイルが移動されました。"
                             "スクリーンセーバーの情報を更新します。";

std::string Changed(const char* stem)
{
    return std::string("スクリーンセーバーを「 ") + stem + " 」に変更しました。";
}
std::string Quoted(const std::string& path, const char* args = "") { return "\"" + path + "\"" + args; }
// The checks with saver id, the time-out of 5 minutes and the screen saver on (stateItem 40301) or off (40302).
std::string WithSaver(UINT id, UINT stateItem = 40301)
{
    return "40101 40205 " + std::to_string(stateItem) + " " + std::to_string(id);
}

// The string table of a built saver's bytes (its one resource: the first entry of each level), and its section.
IMAGE_RESOURCE_DATA_ENTRY* StringTable(std::string& pe, IMAGE_SECTION_HEADER** rsrc)
{
    auto* dos = (IMAGE_DOS_HEADER*)&pe[0];
    auto* header = (IMAGE_FILE_HEADER*)&pe[dos->e_lfanew + sizeof(DWORD)];
    auto* section = (IMAGE_SECTION_HEADER*)((BYTE*)(header + 1) + header->SizeOfOptionalHeader);
    while (lstrcmpA((const char*)section->Name, ".rsrc") != 0)
        ++section;
    BYTE* resources = (BYTE*)&pe[section->PointerToRawData];
    DWORD at = 0;
    for (int level = 0; level < 3; ++level) {   // type, name, language
        auto* entry = (IMAGE_RESOURCE_DIRECTORY_ENTRY*)(resources + at + sizeof(IMAGE_RESOURCE_DIRECTORY));
        at = entry->OffsetToData & ~IMAGE_RESOURCE_DATA_IS_DIRECTORY;
    }
    *rsrc = section;
    return (IMAGE_RESOURCE_DATA_ENTRY*)(resources + at);
}

// The strings moved 2 GB past the file's start, and the resource section and the image made to claim that much:
// loaded as a data file, they lie where a 32-bit program has no memory and a 64-bit one maps none, so a read there
// crashes.
std::string StringsOutside(std::string pe)
{
    IMAGE_SECTION_HEADER* section;
    IMAGE_RESOURCE_DATA_ENTRY* table = StringTable(pe, &section);
    table->OffsetToData = section->VirtualAddress + 0x7FF00000 - section->PointerToRawData;
    section->SizeOfRawData = 0x7FF01000 - section->PointerToRawData;
    ((IMAGE_NT_HEADERS*)&pe[((IMAGE_DOS_HEADER*)&pe[0])->e_lfanew])->OptionalHeader.SizeOfImage = 0x7FF10000;
    return pe;
}

// The table made to end with string 1, which claims 0x7FFF characters; "X"s follow it in the file.
std::string NameClaimsMore(std::string pe)
{
    IMAGE_SECTION_HEADER* section;
    IMAGE_RESOURCE_DATA_ENTRY* table = StringTable(pe, &section);
    auto* words = (WORD*)&pe[table->OffsetToData - section->VirtualAddress + section->PointerToRawData];
    WORD length = words[1];   // string 0 is empty: its count, then string 1's count and characters
    table->Size = (2 + length) * sizeof(WORD);
    words[1] = 0x7FFF;
    for (int i = 0; i < 14; ++i)
        words[2 + length + i] = 'X';   // where strings 2 to 15 counted no characters
    return pe;
}

struct Catalogue : Napkit {
    std::string a, b, c;   // ALPHA, BETA, GAMMA
    void SetUp() override
    {
        Napkit::SetUp();
        DeleteFileA(saver.c_str());
        a = Install("logsaver.scr", "ALPHA.SCR");
        b = Install("logsaver.scr", "BETA.SCR", SystemDir());
        c = Install("logsaver.scr", "GAMMA.SCR", WindowsDir());
        SetScrnsave(a);
        SetIni("Action", "UseSaverName", "0");
        SetIni("Action", "ScreenSaveCommandWait", "300");
    }
};

TEST_F(Catalogue, NamesComeFromTheSaverOrItsFileName)
{
    const std::string long65 = "A file name of sixty-five bytes that a 63-byte label would cut off";
    // useName: [Action] UseSaverName; longPath: configured by its long name, as NT's display settings write it, else
    // by its 8.3 alias; damage: the built saver's bytes made into the file's
    struct Row {
        const char* built; std::string file; const char* useName = "1"; bool longPath = false; const char* label;
        std::string (*damage)(std::string pe) = nullptr;
    };
    const Row rows[] = {
        { .built = "logsaver.scr", .file = "LOG.SCR", .useName = nullptr, .label = "テスト用ロガー" },
        { .built = "nameless.scr", .file = "Plain Name.scr", .label = "Plain Name" },
        { .built = "emptyname.scr", .file = "EMPTY.SCR", .label = "EMPTY" },
        { .built = "nameless.scr", .file = long65 + ".scr", .longPath = true, .label = long65.c_str() },
        { .built = "nameless.scr", .file = "Tom & Jerry.scr", .longPath = true, .label = "Tom && Jerry" },   // "&&": &
        // 82 bytes cut to 63 would end in the lead byte of "め": 62 are kept.
        { .built = "longname.scr", .file = "LONG.SCR",
          .label = "ABとても長い名前のスクリーンセーバーで表示名の切り詰め方を確か" },
        // 81 bytes: 63 end on a whole character.
        { .built = "oddname.scr", .file = "ODD.SCR",
          .label = "Aとても長い名前のスクリーンセーバーで表示名の切り詰め方を確かめ" },
        // Damaged files: nothing is read outside the file, nor outside the string table.
        { .built = "logsaver.scr", .file = "FAR.SCR", .label = "FAR", .damage = StringsOutside },
        { .built = "logsaver.scr", .file = "CLAIM.SCR", .label = "テスト用ロガー", .damage = NameClaimsMore },
    };
    DeleteFileA(a.c_str());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        std::string alias = Install(row.built, row.file);
        if (row.damage)
            WriteBytes(saverbox + "\\" + row.file, row.damage(ReadBytes(SaverFile(row.built))));
        SetScrnsave(row.longPath ? saverbox + "\\" + row.file : alias);
        SetIni("Action", "UseSaverName", row.useName);
        Start();
        Ticks(1);   // the saver configured is known, at start and on the poll: no calls
        EXPECT_EQ(MenuText(41001), row.label);
        EXPECT_EQ(Checks(), WithSaver(41001));
        Close();
        DeleteFileA(alias.c_str());
    }
}

TEST_F(Catalogue, StartMatchesSystemIniOrPicksAtRandom)
{
    // randomSet: [Action] ScreenSaver_RandomSet
    struct Row { const char* name; std::string configured; const char* randomSet = "0"; UINT checked; Lines calls; };
    const Row rows[] = {
        { .name = "match, other case", .configured = "c:\\windows\\gamma.scr", .randomSet = nullptr, .checked = 41003 },
        { .name = "random at start", .configured = c, .randomSet = "1", .checked = 41002, .calls = { Wrote(b) } },
        { .name = "random set 2 acts as 0", .configured = c, .randomSet = "2", .checked = 41003, .calls = {} },
    };
    FixClock(1000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetScrnsave(row.configured);
        SetIni("Action", "ScreenSaver_RandomSet", row.randomSet);
        Start();
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Checks(), WithSaver(row.checked));
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
    onBox = [](const std::string&) { return KeepBoxOpen(3); };
    SetScrnsave("C:\\GONE.SCR");
    Ticks(1);
    EXPECT_EQ(TakeCalls(), (Lines{ "sleep 50", UNKNOWN_BOX, Wrote(b) }));
    EXPECT_EQ(Checks(), WithSaver(41002));
    Close();
}

TEST_F(Catalogue, ChoosingASaverWritesAndAnnouncesIt)
{
    // flags: [Message] OpenMessageBox; useName: [Action] UseSaverName; active: the screen saver's flag
    struct Row {
        const char* name; const char* flags = "3"; const char* useName = "0";
        void (Napkit::*act)(UINT) = &Napkit::Command; UINT id; Lines calls; UINT checked; UINT active = 1;
    };
    const Row rows[] = {   // BETA, 41002, configured before each
        { .name = "with box", .flags = nullptr, .id = 41001,
          .calls = { Wrote(a), "spi 17 1 2", "box main 0x0 NAPKIT|" + Changed("ALPHA") }, .checked = 41001 },
        { .name = "with box, menu showing display names", .flags = nullptr, .useName = "1", .id = 41003,
          .calls = { Wrote(c), "spi 17 1 2", "box main 0x0 NAPKIT|" + Changed("GAMMA") }, .checked = 41003 },
        { .name = "without box, the screen saver off", .flags = "1", .id = 41003,
          .calls = { Wrote(c), "spi 17 0 2" }, .checked = 41003, .active = 0 },
        { .name = "no such saver", .act = &Napkit::SendCommand, .id = 41004, .calls = {}, .checked = 41002 },
        { .name = "the saver already chosen", .id = 41002, .calls = {}, .checked = 41002 },
        { .name = "random change key", .act = &Napkit::HotKey, .id = 41950, .calls = { Wrote(c) }, .checked = 41003 },
        { .name = "refresh key", .act = &Napkit::HotKey, .id = 42030, .calls = { Wrote(c) }, .checked = 41003 },
    };
    FixClock(1004);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetScrnsave(b);
        SetIni("Message", "OpenMessageBox", row.flags);
        SetIni("Action", "UseSaverName", row.useName);
        SetSystemActive(row.active);
        Start();
        (this->*row.act)(row.id);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Checks(), WithSaver(row.checked, row.active ? 40301 : 40302));
        Close();
    }
}

TEST_F(Catalogue, MissingSaversAreReportedAndTheCatalogueRebuilt)
{
    FixClock(1004);
    Start();
    DeleteFileA(c.c_str());
    Command(42010);   // picks GAMMA, gone: of the two left it picks BETA
    Lines calls = { "sleep 300", DELETED_BOX, Wrote(b), "sleep 300", "exec 1 " + Quoted(b, " /s") };
    EXPECT_EQ(TakeCalls(), calls);
    SetScrnsave(a);
    Ticks(1);
    DeleteFileA(a.c_str());
    Command(41900);
    calls = { "sleep 50", MOVED_BOX, Wrote(b) };
    EXPECT_EQ(TakeCalls(), calls) << "expected no start of a file that is gone";
    EXPECT_EQ(Checks(), WithSaver(41001)) << "BETA alone is left";
    // Savers that exist but never run: the first try and three retries, then it gives up.
    WriteBytes(b, "");
    WriteBytes(c, "");
    Command(42030);
    Command(42010);
    EXPECT_EQ(TakeCalls("box"), Lines(4, DELETED_BOX));
    EXPECT_EQ(TakeCalls("exec").size(), 4u) << "four starts";
    EXPECT_EQ(TakeCalls("sleep").size(), 4u) << "a wait before each start";
    EXPECT_EQ(TakeCalls("ini").size(), 5u) << "a pick written by the refresh and after each of the four starts";
    Close();
}

TEST_F(Catalogue, LimitsOfPathsAndCount)
{
    DeleteFileA(a.c_str());
    const std::string stem259(259 - saverbox.size() - 5, 'L');   // saverbox + "\\" + stem259 + ".scr": 259 characters
    Install("logsaver.scr", stem259 + ".scr");
    Install("logsaver.scr", stem259 + "L.scr");
    SetScrnsave(saverbox + "\\" + stem259 + ".scrX");   // 260 characters: the saver of 259 and one more
    FixClock(1000);
    Start();
    EXPECT_EQ(TakeCalls(), (Lines{ UNKNOWN_BOX, Wrote(b) })) << "expected a value too long for a path unknown";
    const Lines submenu = { "GAMMA 41003", "BETA 41002", stem259 + " 41001", "-", "設定 41900",
                            "ランダムチェンジ 41950" };
    EXPECT_EQ(Submenu(41001), submenu) << "the Windows directory's savers first, then the system's, then saverbox's "
                                          "one path of 259 characters, not the one of 260";
    Close();
    for (int i = 1; i < 898; ++i)
        CopyFileA(SaverFile("logsaver.scr").c_str(), (saverbox + "\\S" + std::to_string(i) + ".SCR").c_str(), FALSE);
    SetScrnsave(saverbox + "\\S1.SCR");
    Start();   // 898 in saverbox with the long one, BETA 899th, GAMMA 900th
    EXPECT_EQ(MenuText(41900), "設定") << "a 900th saver took the id of the saver settings";
    Command(41899);
    EXPECT_EQ(TakeCalls(), (Lines{ Wrote(b), "spi 17 1 2", "box main 0x0 NAPKIT|" + Changed("BETA") }))
        << "the 899th saver, BETA, listed last and chosen";
    Close();
    // Savers the full menu had no room for: the configured one takes its last place, at start and on the poll.
    SetScrnsave(c);
    Start();   // GAMMA.SCR, in the Windows directory, is known: no calls
    EXPECT_EQ(MenuText(41899), "GAMMA");
    EXPECT_EQ(Checks(), WithSaver(41899));
    SetScrnsave(b);
    Ticks(1);
    EXPECT_EQ(TakeCalls(), Lines{ "sleep 50" }) << "BETA.SCR, in the system directory, is known";
    EXPECT_EQ(MenuText(41899), "BETA");
    EXPECT_EQ(Checks(), WithSaver(41899));
    Close();
}

TEST_F(Catalogue, SaversRunFromAnyFolderTheProgramRunsIn)
{
    const std::string deep = folder + "\\" + std::string(243 - folder.size() - 1, 'D');
    char prefix[MAX_PATH] = "";
    GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
    std::string z = "Z:" + std::string(prefix) + "/drive_c" + folder.substr(2) + "\\Z";   // drive Z: is the Unix root
    std::replace(z.begin(), z.end(), '/', '\\');
    // dir: the current one; box: the saverbox there, its path built with one separator. The saver is 表.SCR: its
    // folder is found by characters, not bytes.
    const struct { const char* name; std::string dir; std::string box; } rows[] = {
        { "a folder whose name ends in 表 (second byte 0x5C)", folder + "\\表", folder + "\\表\\saverbox" },
        { "a saver path of 259 characters", deep, deep + "\\saverbox" },
        { "a drive's root", "C:\\", "C:\\saverbox" },
        { "a folder on drive Z:, the last letter", z, z + "\\saverbox" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CreateDirectoryA(row.dir.c_str(), NULL);   // C:\ is there already
        ASSERT_TRUE(CreateDirectoryA(row.box.c_str(), NULL)) << "cannot create " << row.box;
        ASSERT_TRUE(SetCurrentDirectoryA(row.dir.c_str()));
        Install("nameless.scr", "表.SCR", row.box);
        const std::string saver = row.box + "\\表.SCR";   // by its long name: the 8.3 alias holds no 表
        SetScrnsave(saver);
        Start();
        Command(41900);
        EXPECT_EQ(TakeCalls(), Lines{ "exec 10 " + Quoted(saver) });
        EXPECT_EQ(SaverLog(1), Lines{ Quoted(saver) + " in " + row.box }) << "expected the saver run in its folder";
        char current[MAX_PATH];
        EXPECT_EQ(std::string(current, GetCurrentDirectoryA(MAX_PATH, current)), row.dir)
            << "expected the program's current folder back";
        Close();
        DeleteFileA((folder + "\\saver.log").c_str());
        DeleteFileA(saver.c_str());
        RemoveDirectoryA(row.box.c_str());
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
    EXPECT_EQ(TakeCalls(), Lines{ NO_SAVER_BOX });
    ExpectEnded();
    EXPECT_EQ(Scrnsave(), ABSENT);
    EXPECT_NE(GetFileAttributesA(saverbox.c_str()), INVALID_FILE_ATTRIBUTES) << "saverbox was not created";
}

TEST_F(Catalogue, UnwritableSystemIniIsReportedOnceAndWrittenOnceSomethingChanged)
{
    // No saver configured, and a random choice at start or not. A locked file is not even opened for writing:
    // it is written once it is free. A full disk takes the write check's probe: nothing is written until the
    // file has changed.
    // random: [Action] ScreenSaver_RandomSet; whenFree: the calls of the polls once the file can be written
    struct Row { const char* random; bool diskFull; Lines whenFree; };
    const Row rows[] = {
        { "0", false, { Wrote(b) } },
        { "1", true, {} },
    };
    std::string systemIni = WindowsDir() + "\\SYSTEM.INI";
    FixClock(1000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.diskFull ? "disk full" : "locked");
        SetIni("Action", "ScreenSaver_RandomSet", row.random);
        SetScrnsave(ABSENT);
        WriteIni(systemIni, "boot", "changed", "0");   // to become "1": the same size, a new write time
        HANDLE lock = row.diskFull ? INVALID_HANDLE_VALUE : LockFile(systemIni);
        FillDisk(row.diskFull);
        onBox = [&](const std::string&) {
            KeepBoxOpen(1);   // the poll runs meanwhile
            CloseHandle(lock);
            FillDisk(false);
            return KeepBoxOpen(2);
        };
        Start();
        EXPECT_EQ(TakeCalls(), (Lines{ Wrote(b) + " (failed)", BOX_NO_WRITE })) << "expected no write in the box";
        EXPECT_EQ(Checks(), "40101 40205 40301") << "expected no saver checked, as SYSTEM.INI has none";
        Ticks(3);
        EXPECT_EQ(TakeCalls(), row.whenFree);
        WriteIni(systemIni, "boot", "changed", "1");   // a due random choice is made now
        Ticks(2);
        EXPECT_EQ(TakeCalls("box"), Lines{}) << "expected no box once writable";
        EXPECT_EQ(Scrnsave(), b);
        TakeCalls();
        Close();
        WriteIni(systemIni, "boot", "changed", ABSENT);
    }
}

TEST_F(Catalogue, NothingFollowsABoxOnceTheCloseHasBegun)
{
    // configured: SYSTEM.INI's saver at start, else the one configured; command 0: SYSTEM.INI set to an unknown
    // saver; else one run with its saver deleted
    struct Row { const char* name; UINT message; UINT command; Lines calls; const char* configured = nullptr; };
    const Row rows[] = {
        { .name = "unknown at start", .message = WM_CLOSE, .command = 0, .calls = { UNKNOWN_BOX },
          .configured = ELSEWHERE },
        { .name = "unknown", .message = WM_CLOSE, .command = 0, .calls = { "sleep 50", UNKNOWN_BOX } },
        { .name = "moved", .message = WM_ENDSESSION, .command = 41900, .calls = { MOVED_BOX, Wrote(a) } },
        { .name = "deleted", .message = WM_CLOSE, .command = 42010, .calls = { "sleep 300", DELETED_BOX, Wrote(a) } },
    };
    FixClock(1007);   // a random start picks ALPHA
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        onBox = [&](const std::string&) {
            SendMessageA(window ? window : FindNapkitWindow(), row.message, TRUE, 0);
            SetScrnsave(ELSEWHERE);   // SYSTEM.INI changes after the close
            return KeepBoxOpen(2);
        };
        if (row.configured)
            SetScrnsave(row.configured);
        window = NULL;   // until the set-up has ended, the box finds the window by its name
        Start();
        if (row.command) {
            DeleteFileA(a.c_str());
            Command(row.command);
        } else if (!row.configured) {
            SetScrnsave("C:\\UNKNOWN.SCR");
        }
        if (!row.configured)
            Ticks(2);
        EXPECT_EQ(TakeCalls(), row.calls) << "expected nothing after the box";
        EXPECT_EQ(Scrnsave(), ELSEWHERE) << "expected nothing written after the close";
        ExpectEnded();
        a = Install("logsaver.scr", "ALPHA.SCR");
        SetScrnsave(a);
    }
}

}  // namespace
