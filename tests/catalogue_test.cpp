// The saver catalogue and the saver commands through the real main window:
// building, labels, paths and limits; matching SYSTEM.INI at start and on the
// poll; the generator; selection, settings, random change and start, refresh.
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "app/app.h"
#include "catalogue/catalogue.h"
#include "res/resource.h"

#include <algorithm>
#include <cstring>
#include <ctime>

using namespace harness;

namespace {

constexpr char SAVER_SUBMENU[] = "スクリーンセーバー変更";
constexpr char SETUP_LABEL[] = "設定";
constexpr char RANDOM_CHANGE_LABEL[] = "ランダムチェンジ";
constexpr char LOGGER_LABEL[] = "テスト用ロガー";   // string 1 of logsaver.scr
constexpr char EMPTY_CATALOGUE_TEXT[] =
    "スクリーンセーバーが１つもありません。\n"
    "一度終了しますので、スクリーンセーバーをインストールした後に\n"
    "「NAPKIT」を再度実行して下さい。";
constexpr char UNKNOWN_SAVER_TEXT[] =
    "現在設定されているスクリーンセーバーが未知の物です。\n取得している情報を更新します。";
constexpr char CHANGED_TO_LONG_SAVER[] = "スクリーンセーバーを「 My Long Saver 」に変更しました。";
constexpr char MOVED_TEXT[] = "ファイルが移動されました。スクリーンセーバーの情報を更新します。";
constexpr char DELETED_TEXT[] =
    "ファイルが削除もしくは移動されています。\nスクリーンセーバーの情報を更新します。";
constexpr char NOT_A_MODULE[] = "these bytes are not a Windows module";
constexpr char UNKNOWN_PATH[] = "C:\\elsewhere\\OTHER.SCR";
constexpr int CATALOGUE_LIMIT = 899;          // one id each below 41900
constexpr size_t MAX_PATH_CHARS = MAX_PATH - 1;
constexpr int RETRY_LIMIT = 3;                // failed random starts retried in a row
constexpr DWORD CHILD_TIMEOUT_MS = 10000;
// Savers put into the prefix's system and Windows directories start with
// this, so that strays of an aborted run can be found and removed.
constexpr char PREFIX_MARK[] = "NKT";

void RemoveStrayPrefixSavers()
{
    for (const std::string& dir : { SystemDir(), WindowsDir() }) {
        for (const std::string& name : SaverFilesIn(dir)) {
            if (name.compare(0, 3, PREFIX_MARK) == 0)
                DeleteFileA(JoinPath(dir, name).c_str());
        }
    }
}

std::string Lower(std::string text) { CharLowerA(&text[0]); return text; }

std::string StemOf(const std::string& name) { return name.substr(0, name.size() - 4); }
UINT SaverId(int index) { return IDM_SAVER_BASE + index; }
UINT NowSeconds() { return (UINT)time(NULL); }

std::string PathOfIndex(int index)
{
    SeekSaver(index);
    char path[MAX_PATH];
    SaverPathOf(appState.cursor, path);
    return path;
}

int IndexOfPath(const std::string& path)
{
    for (int i = 1; i <= appState.saverCount; ++i) {
        if (lstrcmpiA(PathOfIndex(i).c_str(), path.c_str()) == 0)
            return i;
    }
    return 0;
}

std::string LabelOfItem(UINT id)
{
    char text[256] = "";
    GetMenuStringA(appState.menuRoot, id, text, sizeof text, MF_BYCOMMAND);
    return text;
}

int CheckedSaverItems()
{
    int checked = 0;
    for (int i = 1; i <= appState.saverCount; ++i)
        checked += MenuChecked(SaverId(i)) ? 1 : 0;
    return checked;
}

struct MenuRow { UINT id; std::string text; UINT state; };

std::vector<MenuRow> SaverSubmenuRows()
{
    std::vector<MenuRow> rows;
    for (int i = 0; i < GetMenuItemCount(appState.trayMenu); ++i) {
        HMENU sub = GetSubMenu(appState.trayMenu, i);
        if (!sub || MenuText(appState.trayMenu, i) != SAVER_SUBMENU)
            continue;
        for (int row = 0; row < GetMenuItemCount(sub); ++row)
            rows.push_back({ GetMenuItemID(sub, row), MenuText(sub, row),
                             GetMenuState(sub, row, MF_BYPOSITION) });
    }
    return rows;
}

// The indices that picks made in these seconds of the clock give.
std::vector<int> PicksBetween(UINT first, UINT last, int count)
{
    std::vector<int> picks;
    for (UINT second = first; second <= last; ++second) {
        SeedRandom(second);
        picks.push_back(DrawRandom() % count + 1);
    }
    return picks;
}

// A random change just happened: the checked item is a pick of those
// seconds, and SYSTEM.INI, currentSaver and the check agree on it.
void ExpectRandomChange(const std::vector<int>& picks)
{
    int index = (int)appState.saverItem - IDM_SAVER_BASE;
    EXPECT_NE(picks.end(), std::find(picks.begin(), picks.end(), index)) << "checked " << index;
    std::string path = PathOfIndex(index);
    EXPECT_EQ(path, ReadScrnsave());
    EXPECT_EQ(path, appState.currentSaver);
    EXPECT_TRUE(MenuChecked(appState.saverItem));
    EXPECT_EQ(1, CheckedSaverItems());
}

void ExpectBox(const BoxRecord& box, const std::string& text, HWND owner, bool topmost, bool icon)
{
    EXPECT_EQ("NAPKIT", box.caption);
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(owner, box.owner);
    EXPECT_EQ(topmost, box.topmost);
    EXPECT_EQ(icon, box.hasIcon);
    EXPECT_EQ(1, box.buttons);
}

bool QuitPosted()
{
    MSG quit;
    return PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

// The test savers run as processes of their own: their lines are waited for.
std::vector<std::string> WaitForLogLines(const std::string& log, size_t count)
{
    PumpUntil([&] { return ReadLogLines(log).size() >= count; }, CHILD_TIMEOUT_MS);
    return ReadLogLines(log);
}

// A scratch current directory whose catalogue is only what the test puts
// there, no configured saver, the saver log, no wait before a random start.
class SaverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveStrayPrefixSavers();
        ASSERT_TRUE(SaverFilesIn(SystemDir()).empty() && SaverFilesIn(WindowsDir()).empty())
            << "a saver is left in the system or Windows directory";
        WriteScrnsave(ABSENT);
        log_ = dir_.file("saver-log.txt");
        SetSaverLog(log_);
        WriteIni(dir_.ini(), "Action", "ScreenSaveCommandWait", "0");
    }

    void TearDown() override
    {
        if (IsWindow(window_)) {
            if (appState.menuRoot)
                CloseMainWindow(window_);
            else
                DestroyWindow(window_);   // the empty catalogue has torn it down already
            QuitPosted();
        }
        for (const std::string& path : prefixSavers_)
            DeleteFileA(path.c_str());
    }

    std::vector<std::string> Install(const std::vector<std::string>& names,
                                     const char* built = "logsaver.scr")
    {
        std::vector<std::string> paths;
        for (const std::string& name : names)
            paths.push_back(InstallSaver(built, dir_.saverbox(), name));
        return paths;
    }

    // The prefix's folders outlive the test: the file goes again in every case.
    void InstallInPrefix(const std::string& dir, const std::string& name)
    {
        prefixSavers_.push_back(InstallSaver("nameless.scr", dir, name));
    }

    void Start() { window_ = CreateMainWindow(); }

    SystemGuard guard_;
    ScratchDir dir_;
    BoxResponder boxes_;
    HWND window_ = NULL;
    std::string log_;
    std::vector<std::string> prefixSavers_;
};

// ---------------------------------------------------------------- building

TEST_F(SaverTest, MenuListsTheFoldersLastFoundFirstWithFallingIds)
{
    // Nameless savers show their stems, so every row tells its file. One name
    // is in two folders and gives two entries; "Box B.scr" has an alias.
    Install({ "NKTDUP.SCR", "Box B.scr" }, "nameless.scr");
    InstallInPrefix(SystemDir(), "NKTDUP.SCR");
    InstallInPrefix(SystemDir(), "NKTSYS.SCR");
    InstallInPrefix(WindowsDir(), "NKTWIN.SCR");
    ASSERT_FALSE(ShortNameOf(dir_.file("saverbox\\Box B.scr")).empty());
    struct Found { std::string dir, name; };
    std::vector<Found> expected;   // index 1, 2, ... in discovery order
    for (const std::string& dir : { dir_.saverbox(), SystemDir(), WindowsDir() }) {
        for (const std::string& name : SaverFilesIn(dir))
            expected.push_back({ dir, name });
    }
    ASSERT_EQ(5u, expected.size());
    Start();
    ASSERT_EQ(5, appState.saverCount);

    // The ring: head, then 1..5 in discovery order, back to the head.
    SeekSaver(0);
    SaverEntry* head = appState.cursor;
    EXPECT_EQ(0, head->index);
    EXPECT_STREQ("", head->longName);
    SaverEntry* entry = head->next;
    for (size_t i = 0; i < expected.size(); ++i, entry = entry->next) {
        const Found& found = expected[i];
        std::string alias = ShortNameOf(JoinPath(found.dir, found.name));   // hashed under Wine
        EXPECT_EQ((int)i + 1, entry->index);
        EXPECT_EQ(found.dir, entry->directory);
        EXPECT_EQ(found.name, entry->longName);
        EXPECT_EQ(alias, entry->shortName) << found.name;
        char path[MAX_PATH], stem[MAX_PATH];
        SaverPathOf(entry, path);
        EXPECT_EQ(JoinPath(found.dir, alias.empty() ? found.name : alias), path);
        SaverStemOf(entry, stem);
        EXPECT_EQ(StemOf(found.name), stem);
    }
    EXPECT_EQ(head, entry);
    // An index not in the ring stops the seek after one turn, where it began.
    for (int start : { 0, 2, 5 }) {
        for (int absent : { 6, -1, IDM_SAVER_BASE }) {
            SeekSaver(start);
            SaverEntry* before = appState.cursor;
            SeekSaver(absent);
            EXPECT_EQ(before, appState.cursor) << start << " " << absent;
        }
    }

    // The submenu: found last on top, ids falling, then the fixed items.
    std::vector<MenuRow> rows = SaverSubmenuRows();
    ASSERT_EQ(expected.size() + 3, rows.size());
    for (size_t row = 0; row < expected.size(); ++row) {
        size_t index = expected.size() - row;
        EXPECT_EQ(SaverId(index), rows[row].id) << row;
        EXPECT_EQ(StemOf(expected[index - 1].name), rows[row].text) << row;
        EXPECT_EQ(0u, rows[row].state & (MF_SEPARATOR | MF_GRAYED)) << row;
    }
    EXPECT_TRUE(rows[5].state & MF_SEPARATOR);
    EXPECT_EQ((UINT)IDM_SAVER_SETUP, rows[6].id);
    EXPECT_EQ(SETUP_LABEL, rows[6].text);
    EXPECT_EQ((UINT)IDM_RANDOM_CHANGE, rows[7].id);
    EXPECT_EQ(RANDOM_CHANGE_LABEL, rows[7].text);
    EXPECT_FALSE(MenuItemExists(IDM_SAVER_BASE));   // "無し" is gone
    EXPECT_EQ(0u, boxes_.Count());
}

// String 1 of longname.scr: 82 bytes, byte 62 is the lead byte of "め".
constexpr char LONG_STRING_ONE[] =
    "ABとても長い名前のスクリーンセーバーで表示名の切り詰め方を確かめるための試験用です";
// 40 full-width characters: an 80-byte stem whose byte 62 is a lead byte.
const std::string LONG_JAPANESE_STEM =
    "日本語の長いファイル名を持つスクリーンセーバーで表示名の切り詰めを確かめる";
constexpr char A_FOLDER[] = "<folder>";

struct LabelCase {
    const char* name;
    const char* built;          // a test saver, A_FOLDER, or nullptr: not a module
    std::string fileName;
    const char* useSaverName;   // nullptr: key absent (default 1)
    std::string label;
};

class SaverLabel : public SaverTest, public ::testing::WithParamInterface<LabelCase> {};

TEST_P(SaverLabel, ComesFromStringOneOrTheStem)
{
    const LabelCase& c = GetParam();
    std::string path = JoinPath(dir_.saverbox(), c.fileName);
    CreateDirectoryA(dir_.saverbox().c_str(), NULL);
    if (!c.built)
        WriteFileBytes(path, NOT_A_MODULE);
    else if (c.built == A_FOLDER)
        CreateDirectoryA(path.c_str(), NULL);
    else
        InstallSaver(c.built, dir_.saverbox(), c.fileName);
    if (c.useSaverName)
        WriteIni(dir_.ini(), "Action", "UseSaverName", c.useSaverName);
    Start();
    ASSERT_EQ(1, appState.saverCount);
    EXPECT_EQ(c.label, LabelOfItem(SaverId(1)));
    EXPECT_EQ(0u, boxes_.Count());
}

INSTANTIATE_TEST_SUITE_P(Cases, SaverLabel, ::testing::Values(
    LabelCase{ "StringOne", "logsaver.scr", "LOGGER.SCR", nullptr, LOGGER_LABEL },
    LabelCase{ "UseSaverNameZero", "logsaver.scr", "LOGGER.SCR", "0", "LOGGER" },
    LabelCase{ "UseSaverNameTwo", "logsaver.scr", "LOGGER.SCR", "2", LOGGER_LABEL },
    // Decision: a string block without string 1 shows the stem.
    LabelCase{ "BlockWithoutStringOne", "emptyname.scr", "EMPTY.SCR", nullptr, "EMPTY" },
    // Cut to 63 bytes, less the lone lead byte at byte 62.
    LabelCase{ "LongStringOneCutWhole", "longname.scr", "LONG.SCR", nullptr,
               std::string(LONG_STRING_ONE).substr(0, 62) },
    LabelCase{ "LongStemCutWhole", "nameless.scr", LONG_JAPANESE_STEM + ".scr", nullptr,
               LONG_JAPANESE_STEM.substr(0, 62) },
    LabelCase{ "NotAModule", nullptr, "x.scr", nullptr, "x" },
    // Attributes are not looked at: a folder counts as a saver.
    LabelCase{ "FolderNamedScr", A_FOLDER, "x.scr", nullptr, "x" }),
    [](const ::testing::TestParamInfo<LabelCase>& info) { return std::string(info.param.name); });

TEST_F(SaverTest, DisplayNameIsReadWithoutLoadingTheModule)
{
    // logsaver.scr marked as a DLL that imports a DLL that does not exist:
    // it cannot be loaded to run, yet read as data its string 1 is there.
    std::string bytes = ReadFileBytes(SaverFile("logsaver.scr"));
    size_t import = bytes.find("msvcrt.dll");
    ASSERT_NE(std::string::npos, import);
    bytes.replace(import, 10, "nkmiss.dll");
    DWORD header = *(const DWORD*)&bytes[0x3C];
    *(WORD*)&bytes[header + 4 + 18] |= IMAGE_FILE_DLL;   // Characteristics after "PE\0\0"
    std::string path = JoinPath(dir_.saverbox(), "NOIMPORT.SCR");
    CreateDirectoryA(dir_.saverbox().c_str(), NULL);
    WriteFileBytes(path, bytes);
    // Loaded apart: a failed load here keeps the file open under Wine.
    // regsvr32 exits with 3 when the load fails.
    ChildProcess regsvr;
    ASSERT_TRUE(regsvr.Start("regsvr32.exe /s \"" + path + "\"", ""));
    ASSERT_EQ(3u, regsvr.Wait(CHILD_TIMEOUT_MS)) << "the fixture must not load";
    Start();
    ASSERT_EQ(1, appState.saverCount);
    EXPECT_EQ(LOGGER_LABEL, LabelOfItem(SaverId(1)));
}

TEST_F(SaverTest, NoSaverAnywhereEndsTheProgramWithoutWritingSystemIni)
{
    std::string systemIni = ReadFileBytes(SystemIniPath());
    Start();
    ASSERT_TRUE(IsWindow(window_));   // left in place, hidden
    EXPECT_TRUE(QuitPosted());        // waiting for the message loop's first fetch
    ASSERT_EQ(1u, boxes_.Count());
    ExpectBox(boxes_.Boxes()[0], EMPTY_CATALOGUE_TEXT, NULL, true, false);
    EXPECT_EQ(NULL, appState.menuRoot);
    EXPECT_FALSE(TrayIconExists(window_));
    // No match, no random choice, nothing written.
    EXPECT_EQ(systemIni, ReadFileBytes(SystemIniPath()));
    EXPECT_EQ(0u, appState.saverItem);
    // The missing saverbox was made all the same.
    DWORD attributes = GetFileAttributesA(dir_.saverbox().c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

// ---------------------------------------------------------------- limits

TEST_F(SaverTest, CatalogueStopsAtEightHundredNinetyNineSavers)
{
    // The 900th file and a saver in the system directory, found after it,
    // are not listed, so no saver item reaches 41900.
    constexpr int FILE_COUNT = 900;
    CreateDirectoryA(dir_.saverbox().c_str(), NULL);
    for (int i = 0; i < FILE_COUNT; ++i) {
        char name[16];
        wsprintfA(name, "S%03d.SCR", i);
        ASSERT_TRUE(CopyFileA(SaverFile("nameless.scr").c_str(),
                              JoinPath(dir_.saverbox(), name).c_str(), FALSE));
    }
    InstallInPrefix(SystemDir(), "NKTSYS.SCR");
    std::vector<std::string> names = SaverFilesIn(dir_.saverbox());
    ASSERT_EQ((size_t)FILE_COUNT, names.size());
    Start();
    ASSERT_EQ(CATALOGUE_LIMIT, appState.saverCount);

    std::vector<MenuRow> rows = SaverSubmenuRows();
    ASSERT_EQ((size_t)CATALOGUE_LIMIT + 3, rows.size());
    EXPECT_EQ((UINT)IDM_SAVER_LAST, rows.front().id);
    EXPECT_EQ(StemOf(names[CATALOGUE_LIMIT - 1]), rows.front().text);
    EXPECT_EQ((UINT)IDM_SAVER_FIRST, rows[CATALOGUE_LIMIT - 1].id);
    EXPECT_EQ((UINT)IDM_SAVER_SETUP, rows[CATALOGUE_LIMIT + 1].id);
    EXPECT_EQ(SETUP_LABEL, LabelOfItem(IDM_SAVER_SETUP));   // the only item with its id

    // The ring holds exactly the first 899 files in discovery order.
    SeekSaver(0);
    SaverEntry* entry = appState.cursor->next;
    for (int i = 0; i < CATALOGUE_LIMIT; ++i, entry = entry->next)
        ASSERT_EQ(names[i], entry->longName) << i;
    EXPECT_EQ(0, entry->index);
}

TEST_F(SaverTest, FileWhosePathWouldPassTwoHundredFiftyNineCharactersIsSkipped)
{
    // saverbox\<name> reaches 259 characters for a 9-character name and 260
    // for a 10-character one, while saverbox itself still fits.
    const std::string fits = "FITS1.SCR";
    const size_t depth = MAX_PATH_CHARS - fits.size() - 1 - lstrlenA("saverbox") - 1;
    std::string deep = MakeDirOfLength(dir_.path(), depth);
    ASSERT_EQ(depth, deep.size());
    ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
    const std::string box = JoinPath(deep, "saverbox");
    ASSERT_TRUE(CreateDirectoryA(box.c_str(), NULL));
    // The 260-character file can only be made and removed by a relative path;
    // the deep folder stays current until the test body ends.
    struct RemoveOver {
        const char* name;
        ~RemoveOver() { DeleteFileA(name); }
    } over{ "saverbox\\OVER12.SCR" };
    ASSERT_TRUE(CopyFileA(SaverFile("logsaver.scr").c_str(), over.name, FALSE));
    InstallSaver("logsaver.scr", box, fits);
    ASSERT_EQ(2u, SaverFilesIn(box).size());

    Start();
    ASSERT_EQ(1, appState.saverCount);
    std::string path = PathOfIndex(1);
    EXPECT_EQ(JoinPath(box, fits), path);
    EXPECT_EQ(MAX_PATH_CHARS, path.size());
    EXPECT_EQ(LOGGER_LABEL, LabelOfItem(SaverId(1)));   // read by its full path
    EXPECT_EQ(path, ReadScrnsave());
}

// ---------------------------------------------------------------- matching SYSTEM.INI

enum class Outcome { MATCH, UNCHANGED, RANDOM, UNKNOWN_THEN_RANDOM };

struct SyncCase {
    const char* name;
    bool byPoll;             // false: in SYSTEM.INI at start; true: written after A matched
    const char* randomSet;   // ScreenSaver_RandomSet, written with the value; nullptr: absent
    const char* value;       // a file name stands for its path in saverbox
    Outcome outcome;
};

class SaverSync : public SaverTest, public ::testing::WithParamInterface<SyncCase> {};

TEST_P(SaverSync, MatchesOrPicksAtRandom)
{
    const SyncCase& c = GetParam();
    std::vector<std::string> paths = Install({ "A.SCR", "B.SCR", "My Long Saver.scr" });
    const std::string value = strchr(c.value, '.') ? JoinPath(dir_.saverbox(), c.value) : c.value;
    // Ticks that come while the unknown-saver box is open must not open another.
    static volatile LONG ticked = 0;
    boxes_.SetHandler([](const BoxRecord& box) {
        if (box.text != UNKNOWN_SAVER_TEXT || InterlockedExchange(&ticked, 1))
            return false;
        HWND main = FindNapkitWindow(GetCurrentProcessId(), CHILD_TIMEOUT_MS);
        for (int i = 0; i < 3; ++i)
            PostMessageA(main, WM_TIMER, POLL_TIMER_ID, 0);
        Sleep(3 * POLL_INTERVAL_MS);
        return false;
    });
    auto apply = [&] {
        if (c.randomSet)
            WriteIni(dir_.ini(), "Action", "ScreenSaver_RandomSet", c.randomSet);
        WriteScrnsave(value);
    };
    if (c.byPoll)
        WriteScrnsave(paths[0]);
    else
        apply();
    UINT first = NowSeconds();
    Start();
    ASSERT_EQ(3, appState.saverCount);
    if (c.byPoll) {
        ASSERT_EQ(paths[0], appState.currentSaver);
        apply();   // the setting is read at every synchronisation
        first = NowSeconds();
        SendMessageA(window_, WM_TIMER, POLL_TIMER_ID, 0);
    }
    UINT last = NowSeconds();

    if (c.outcome == Outcome::MATCH || c.outcome == Outcome::UNCHANGED) {
        std::string current = c.outcome == Outcome::MATCH ? value : paths[0];
        EXPECT_EQ(SaverId(IndexOfPath(current)), appState.saverItem);
        EXPECT_TRUE(MenuChecked(appState.saverItem));
        EXPECT_EQ(1, CheckedSaverItems());
        EXPECT_EQ(current, appState.currentSaver);   // SYSTEM.INI's own text
        EXPECT_EQ(value, ReadScrnsave());            // not rewritten
        EXPECT_EQ(0u, boxes_.Count());
        return;
    }
    ExpectRandomChange(PicksBetween(first, last, 3));
    if (c.outcome == Outcome::RANDOM) {
        EXPECT_EQ(0u, boxes_.Count());
        return;
    }
    PumpMessages(2 * POLL_INTERVAL_MS);
    ASSERT_EQ(1u, boxes_.Count());
    ExpectBox(boxes_.Boxes()[0], UNKNOWN_SAVER_TEXT, NULL, true, false);
    // The chain is over: the next unknown value is taken up again.
    WriteScrnsave(UNKNOWN_PATH);
    SendMessageA(window_, WM_TIMER, POLL_TIMER_ID, 0);
    EXPECT_EQ(2u, boxes_.Count());
    EXPECT_EQ(IndexOfPath(ReadScrnsave()), (int)appState.saverItem - IDM_SAVER_BASE);
}

INSTANTIATE_TEST_SUITE_P(Cases, SaverSync, ::testing::Values(
    SyncCase{ "ExactPath", false, nullptr, "B.SCR", Outcome::MATCH },
    SyncCase{ "OtherLetterCase", false, nullptr, "b.scr", Outcome::MATCH },
    SyncCase{ "RandomSetTwoActsAsZero", false, "2", "B.SCR", Outcome::MATCH },
    SyncCase{ "RandomSetOne", false, "1", "B.SCR", Outcome::RANDOM },
    SyncCase{ "NothingConfigured", false, nullptr, ABSENT, Outcome::RANDOM },
    SyncCase{ "NothingInOtherCase", false, nullptr, "nothing!", Outcome::RANDOM },
    // The long form, while the catalogue knows the file by its alias.
    SyncCase{ "LongNameWhileTheEntryHasAnAlias", false, nullptr, "My Long Saver.scr",
              Outcome::UNKNOWN_THEN_RANDOM },
    SyncCase{ "PollFollowsAnotherSaver", true, nullptr, "B.SCR", Outcome::MATCH },
    SyncCase{ "PollIgnoresOtherLetterCase", true, nullptr, "a.scr", Outcome::UNCHANGED },
    SyncCase{ "PollUnknownSaver", true, nullptr, "OTHER.SCR", Outcome::UNKNOWN_THEN_RANDOM },
    SyncCase{ "PollKeyRemoved", true, "0", ABSENT, Outcome::UNKNOWN_THEN_RANDOM },
    SyncCase{ "PollKeyRemovedRandomSetOne", true, "1", ABSENT, Outcome::RANDOM }),
    [](const ::testing::TestParamInfo<SyncCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- the generator

TEST(RandomGenerator, DrawsFollowTheCongruenceAndPicksReseedEveryTime)
{
    struct Run { UINT seed; int draws[5]; };
    const Run runs[] = {
        { 0, { 38, 7719, 21238, 2437, 8855 } },
        { 1, { 41, 18467, 6334, 26500, 19169 } },
        { 0xFFFFFFFF, { 35, 29739, 3374, 11141, 31308 } },
    };
    for (const Run& run : runs) {
        SeedRandom(run.seed);
        for (int draw : run.draws)
            EXPECT_EQ(draw, DrawRandom()) << run.seed;
    }
    // A pick is the first draw of the current second, whatever came before.
    ZeroMemory(&appState, sizeof appState);
    for (int count : { 3, CATALOGUE_LIMIT }) {
        appState.saverCount = count;
        UINT first, last;
        int pick, again;
        do {   // until both picks lie within one second of the clock
            first = NowSeconds();
            pick = PickRandomSaver();
            DrawRandom();
            again = PickRandomSaver();
            last = NowSeconds();
        } while (first != last);
        EXPECT_EQ(PicksBetween(first, first, count)[0], pick) << count;
        EXPECT_EQ(pick, again) << count;
    }
}

// ---------------------------------------------------------------- selection

struct SelectCase {
    const char* name;
    const char* openMessageBox;   // nullptr: absent, default 3
    bool box;
};

class SelectAnother : public SaverTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(SelectAnother, WritesTheAliasMovesTheCheckAndAnnouncesWithBitOne)
{
    std::vector<std::string> paths = Install({ "A.SCR", "My Long Saver.scr", "C.SCR" });
    std::string alias = JoinPath(dir_.saverbox(), ShortNameOf(paths[1]));
    ASSERT_NE(paths[1], alias);
    WriteScrnsave(paths[0]);
    if (GetParam().openMessageBox)
        WriteIni(dir_.ini(), "Message", "OpenMessageBox", GetParam().openMessageBox);
    Start();
    UINT before = appState.saverItem;
    UINT activeBefore = SpiActive();
    int target = IndexOfPath(alias);
    ASSERT_NE(0, target);

    SendCommand(window_, SaverId(target));
    EXPECT_EQ(alias, ReadScrnsave());
    EXPECT_EQ(alias, appState.currentSaver);
    EXPECT_EQ(SaverId(target), appState.saverItem);
    EXPECT_TRUE(MenuChecked(SaverId(target)));
    EXPECT_FALSE(MenuChecked(before));
    EXPECT_EQ(activeBefore, SpiActive());   // announced with its own value
    ASSERT_EQ(GetParam().box ? 1u : 0u, boxes_.Count());
    if (GetParam().box)   // the stem, though the menu shows string 1
        ExpectBox(boxes_.Boxes()[0], CHANGED_TO_LONG_SAVER, window_, false, false);
}

INSTANTIATE_TEST_SUITE_P(Cases, SelectAnother, ::testing::Values(
    SelectCase{ "DefaultFlags", nullptr, true },
    SelectCase{ "StateMessageOnly", "1", false },
    SelectCase{ "ChangeMessageOnly", "2", true }),
    [](const ::testing::TestParamInfo<SelectCase>& info) { return std::string(info.param.name); });

TEST_F(SaverTest, SaverCommandsActOnlyOnAnotherEntryOfTheCatalogue)
{
    std::vector<std::string> paths = Install({ "A.SCR", "B.SCR", "C.SCR" });
    // In lower case: any write would show as the catalogue's own text.
    const std::string configured = Lower(paths[0]);
    WriteScrnsave(configured);
    Start();   // default flags: a selection that acts shows its box
    UINT checked = appState.saverItem;
    ASSERT_EQ(SaverId(IndexOfPath(paths[0])), checked);
    // 41000 before any saver command names the head; 41004 and 41899 name
    // no entry; the checked item is no change.
    for (UINT id : { (UINT)IDM_SAVER_BASE, SaverId(4), (UINT)IDM_SAVER_LAST, checked }) {
        SendCommand(window_, id);
        EXPECT_EQ(configured, ReadScrnsave()) << id;
        EXPECT_EQ(configured, appState.currentSaver) << id;
        EXPECT_EQ(checked, appState.saverItem) << id;
        EXPECT_TRUE(MenuChecked(checked)) << id;
    }
    PumpMessages(100);
    EXPECT_EQ(0u, boxes_.Count());
    // Saver ids fold through lastSaverIndex.
    for (int index : { 3, 1, 2 }) {
        SendCommand(window_, SaverId(index));
        EXPECT_EQ(index, appState.lastSaverIndex);
        EXPECT_EQ(SaverId(index), appState.saverItem);
        EXPECT_EQ(Lower(PathOfIndex(index)), Lower(ReadScrnsave())) << index;
    }
}

TEST_F(SaverTest, RandomChangeWritesAndChecksWithoutABox)
{
    std::vector<std::string> paths = Install({ "A.SCR", "B.SCR", "C.SCR" });
    WriteScrnsave(paths[0]);
    Start();   // default flags: still no box
    UINT first = NowSeconds();
    SendCommand(window_, IDM_RANDOM_CHANGE);
    ExpectRandomChange(PicksBetween(first, NowSeconds(), 3));
    PumpMessages(100);
    EXPECT_EQ(0u, boxes_.Count());
}

// ---------------------------------------------------------------- running savers

TEST_F(SaverTest, ConfigureAndRandomStartRunTheSaverQuoted)
{
    // A current directory with a blank, beside the program an unquoted
    // command line would run instead (it logs too).
    constexpr DWORD WAIT_MS = 600;
    const std::string folder = dir_.file("My Programs");
    CreateDirectoryA(folder.c_str(), NULL);
    InstallSaver("logsaver.scr", dir_.path(), "My.exe");
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    WriteIni(JoinPath(folder, "NAPKIT.INI"), "Action", "ScreenSaveCommandWait", "600");
    const std::string box = JoinPath(folder, "saverbox");
    for (const char* name : { "A.SCR", "B.SCR", "My Long Saver.scr" })
        InstallSaver("logsaver.scr", box, name);
    const std::string configured = JoinPath(box, "B.SCR");
    WriteScrnsave(configured);
    Start();
    ASSERT_EQ(3, appState.saverCount);
    UINT checked = appState.saverItem;

    // The settings: the current saver without arguments.
    SendCommand(window_, IDM_SAVER_SETUP);
    std::vector<std::string> lines = WaitForLogLines(log_, 1);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("\"" + configured + "\"", lines[0]);

    // Random start: a pick with /s after the wait, and nothing else changes.
    UINT first = NowSeconds();
    DWORD start = GetTickCount();
    SendCommand(window_, IDM_START_RANDOM);
    DWORD elapsed = GetTickCount() - start;
    UINT last = NowSeconds();
    EXPECT_GE(elapsed, WAIT_MS - 10);
    int started = appState.cursor->index;   // the cursor rests on the pick
    std::vector<int> picks = PicksBetween(first, last, 3);
    EXPECT_NE(picks.end(), std::find(picks.begin(), picks.end(), started));
    lines = WaitForLogLines(log_, 2);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("\"" + PathOfIndex(started) + "\" /s", lines[1]);
    EXPECT_EQ(configured, ReadScrnsave());
    EXPECT_EQ(configured, appState.currentSaver);
    EXPECT_EQ(checked, appState.saverItem);
    EXPECT_EQ(1, CheckedSaverItems());
    EXPECT_EQ(0u, boxes_.Count());
}

TEST_F(SaverTest, ConfigureAndRandomStartOfAVanishedSaverSayItAndRefresh)
{
    std::vector<std::string> paths = Install({ "A.SCR" });
    WriteScrnsave(paths[0]);
    Start();
    // The settings: the message, then a refresh that configures the saver left.
    ASSERT_TRUE(DeleteFileA(paths[0].c_str()));
    std::string saverB = InstallSaver("logsaver.scr", dir_.saverbox(), "B.SCR");
    SendCommand(window_, IDM_SAVER_SETUP);
    ASSERT_EQ(1u, boxes_.Count());
    ExpectBox(boxes_.Boxes()[0], MOVED_TEXT, window_, false, true);
    EXPECT_EQ(1, appState.saverCount);
    EXPECT_EQ(saverB, ReadScrnsave());
    EXPECT_EQ(saverB, appState.currentSaver);
    EXPECT_TRUE(MenuChecked(SaverId(1)));

    // Random start: the message, a refresh with its random change, a new start.
    ASSERT_TRUE(DeleteFileA(saverB.c_str()));
    std::string saverC = InstallSaver("logsaver.scr", dir_.saverbox(), "C.SCR");
    SendCommand(window_, IDM_START_RANDOM);
    ASSERT_EQ(2u, boxes_.Count());
    ExpectBox(boxes_.Boxes()[1], DELETED_TEXT, window_, false, true);
    std::vector<std::string> lines = WaitForLogLines(log_, 1);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("\"" + saverC + "\" /s", lines[0]);
    EXPECT_EQ(saverC, ReadScrnsave());
    EXPECT_TRUE(MenuChecked(SaverId(1)));
}

TEST_F(SaverTest, SaverThatCannotRunIsRetriedAtMostThreeTimesPerCommand)
{
    // A file that exists but is no module: every start fails, every refresh
    // finds it again.
    CreateDirectoryA(dir_.saverbox().c_str(), NULL);
    WriteFileBytes(dir_.file("saverbox\\BAD.SCR"), NOT_A_MODULE);
    Start();
    ASSERT_EQ(1, appState.saverCount);
    for (size_t command = 1; command <= 2; ++command) {   // the bound is per chain
        SendCommand(window_, IDM_START_RANDOM);
        PumpMessages(200);
        ASSERT_EQ(command * (1 + RETRY_LIMIT), boxes_.Count()) << "command " << command;
    }
    for (const BoxRecord& box : boxes_.Boxes())
        ExpectBox(box, DELETED_TEXT, window_, false, true);
    EXPECT_EQ(0, appState.randomStartRetries);
    EXPECT_NE((HMENU)NULL, appState.menuRoot);
}

// ---------------------------------------------------------------- refresh

TEST_F(SaverTest, RefreshRebuildsTheMenuPicksAtRandomAndKeepsTheFourGroupsChecked)
{
    std::vector<std::string> paths = Install({ "A.SCR", "B.SCR" });
    // In lower case: the refresh writes even an unchanged saver.
    WriteScrnsave(Lower(paths[0]));
    WriteIni(dir_.ini(), "Action", "IconDubbleClick", "0");
    SetSpiTimeout(600);
    Start();
    ASSERT_EQ(2, appState.saverCount);
    ASSERT_TRUE(DeleteFileA(paths[1].c_str()));
    Install({ "C.SCR", "D.SCR" });

    // The second refresh of one second picks the item already checked; it
    // is checked on the fresh menu all the same.
    UINT first, last;
    do {
        first = NowSeconds();
        SendCommand(window_, IDM_REFRESH);
        SendCommand(window_, IDM_REFRESH);
        last = NowSeconds();
    } while (first != last);

    EXPECT_EQ(0, appState.refreshing);
    ASSERT_EQ(3, appState.saverCount);
    std::vector<MenuRow> rows = SaverSubmenuRows();
    ASSERT_EQ(3u + 3u, rows.size());
    EXPECT_EQ(SaverId(3), rows[0].id);
    EXPECT_EQ(SaverId(1), rows[2].id);
    EXPECT_FALSE(MenuItemExists(IDM_SAVER_BASE));
    ExpectRandomChange(PicksBetween(first, first, 3));
    EXPECT_EQ((UINT)IDM_DBLCLICK_START, appState.dblClickItem);
    EXPECT_EQ((UINT)IDM_TIMEOUT_10, appState.timeoutItem);
    for (UINT item : { appState.dblClickItem, appState.stateItem, appState.timeoutItem,
                       appState.saverItem })
        EXPECT_TRUE(MenuChecked(item)) << item;
    EXPECT_EQ(0u, boxes_.Count());
}

// ---------------------------------------------------------------- the whole program

TEST_F(SaverTest, NapkitStartsARandomSaverWithSlashS)
{
    std::vector<std::string> paths = Install({ "A.SCR" });
    WriteScrnsave(paths[0]);
    ChildProcess napkit;
    ASSERT_TRUE(StartNapkit(napkit, dir_.path()));
    BoxResponder boxes(napkit.id());
    HWND window = FindNapkitWindow(napkit.id(), CHILD_TIMEOUT_MS);
    ASSERT_TRUE(window != NULL);
    // The window exists while its set-up still runs; a command then would
    // meet an empty catalogue. Idle means the set-up is over.
    ASSERT_EQ(0u, WaitForInputIdle(napkit.handle(), CHILD_TIMEOUT_MS));
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_COMMAND, IDM_START_RANDOM, 0, SMTO_ABORTIFHUNG,
                        CHILD_TIMEOUT_MS, &result);
    std::vector<std::string> lines = WaitForLogLines(log_, 1);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("\"" + paths[0] + "\" /s", lines[0]);
    EXPECT_EQ(paths[0], ReadScrnsave());
    PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(0u, napkit.Wait(CHILD_TIMEOUT_MS));
    EXPECT_EQ(0u, boxes.Count());
}

}  // namespace
