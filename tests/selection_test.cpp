// The current saver and the saver commands: matching SYSTEM.INI at start and
// on the poll, the unknown-saver chain, the random generator and its picks,
// selection from the menu, random change, the saver's own settings, random
// start with its bounded retry, and refresh.
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "app/app.h"
#include "catalogue/catalogue.h"
#include "res/resource.h"

#include <algorithm>
#include <ctime>

using namespace harness;

namespace {

constexpr char SAVER_SUBMENU[] = "スクリーンセーバー変更";
constexpr char UNKNOWN_SAVER_TEXT[] =
    "現在設定されているスクリーンセーバーが未知の物です。\n取得している情報を更新します。";
constexpr char CHANGED_FORMAT[] = "スクリーンセーバーを「 %s 」に変更しました。";
constexpr char MOVED_TEXT[] = "ファイルが移動されました。スクリーンセーバーの情報を更新します。";
constexpr char DELETED_TEXT[] =
    "ファイルが削除もしくは移動されています。\nスクリーンセーバーの情報を更新します。";
constexpr char EMPTY_CATALOGUE_TEXT[] =
    "スクリーンセーバーが１つもありません。\n"
    "一度終了しますので、スクリーンセーバーをインストールした後に\n"
    "「NAPKIT」を再度実行して下さい。";
constexpr char NOT_A_MODULE[] = "these bytes are not a Windows module";
constexpr char UNKNOWN_PATH[] = "C:\\elsewhere\\OTHER.SCR";
constexpr char BLANK_FOLDER[] = "My Programs";   // a current directory with a blank
constexpr char DECOY_NAME[] = "My.exe";          // its first blank-separated part, run
constexpr int RETRY_LIMIT = 3;                    // failed random starts retried in a row
constexpr DWORD CHILD_TIMEOUT_MS = 10000;

// The program's generator, written out from its definition.
constexpr UINT RANDOM_MULTIPLIER = 214013;
constexpr UINT RANDOM_INCREMENT = 2531011;

int ReferenceDraw(UINT& state)
{
    state = state * RANDOM_MULTIPLIER + RANDOM_INCREMENT;
    return (int)((state >> 16) & 0x7FFF);
}

int ReferencePick(UINT seconds, int count)
{
    UINT state = seconds;
    return ReferenceDraw(state) % count + 1;
}

UINT NowSeconds()
{
    return (UINT)time(NULL);
}

// Every index that a pick made between two readings of the clock can give.
std::vector<int> PicksBetween(UINT first, UINT last, int count)
{
    std::vector<int> picks;
    for (UINT second = first; second <= last; ++second)
        picks.push_back(ReferencePick(second, count));
    return picks;
}

bool Contains(const std::vector<int>& values, int value)
{
    return std::find(values.begin(), values.end(), value) != values.end();
}

std::vector<std::string> SaverFilesIn(const std::string& dir)
{
    // In the order the file system returns them, which is the catalogue's.
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(JoinPath(dir, "*.scr").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// Savers that the catalogue tests put into the prefix's folders start with
// this; one left by an aborted run would join every catalogue here.
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

std::string Lower(std::string text)   // ASCII paths only
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    }
    return text;
}

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

UINT SaverId(int index)
{
    return IDM_SAVER_BASE + index;
}

int CheckedSaverItems()
{
    int checked = 0;
    for (int i = 1; i <= appState.saverCount; ++i)
        checked += MenuChecked(SaverId(i)) ? 1 : 0;
    return checked;
}

HMENU SaverSubmenu()
{
    int count = GetMenuItemCount(appState.trayMenu);
    for (int i = 0; i < count; ++i) {
        HMENU sub = GetSubMenu(appState.trayMenu, i);
        if (sub && MenuText(appState.trayMenu, i) == SAVER_SUBMENU)
            return sub;
    }
    return NULL;
}

std::string ChangedText(const std::string& stem)
{
    char text[MAX_PATH + 96];
    wsprintfA(text, CHANGED_FORMAT, stem.c_str());
    return text;
}

void Poll(HWND window)
{
    SendMessageA(window, WM_TIMER, POLL_TIMER_ID, 0);
}

// A random change just happened: the checked item is a pick of the given
// seconds, and SYSTEM.INI, currentSaver and the check agree on it.
void ExpectRandomChange(const std::vector<int>& picks)
{
    int index = (int)appState.saverItem - IDM_SAVER_BASE;
    EXPECT_TRUE(Contains(picks, index)) << "checked index " << index;
    std::string path = PathOfIndex(index);
    EXPECT_EQ(path, ReadScrnsave());
    EXPECT_EQ(path, appState.currentSaver);
    EXPECT_TRUE(MenuChecked(appState.saverItem));
    EXPECT_EQ(1, CheckedSaverItems());
}

void ExpectBox(const BoxRecord& box, const std::string& text, HWND owner, bool topmost,
               bool icon)
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

// Lines the test savers logged, waited for: they run as processes of their own.
std::vector<std::string> WaitForLogLines(const std::string& log, size_t count)
{
    PumpUntil([&] { return ReadLogLines(log).size() >= count; }, CHILD_TIMEOUT_MS);
    return ReadLogLines(log);
}

// The real main window; closed normally unless the program already tore it
// down (empty catalogue), when only the window itself is left to destroy.
class MainWindow {
public:
    MainWindow() : window_(CreateMainWindow()) {}
    ~MainWindow()
    {
        if (!IsWindow(window_))
            return;
        if (appState.menuRoot)
            CloseMainWindow(window_);
        else
            DestroyWindow(window_);
        QuitPosted();
    }
    HWND get() const { return window_; }
private:
    HWND window_;
};

class SelectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The system and Windows directories add nothing, so the catalogue
        // is exactly what the test puts in saverbox.
        RemoveStrayPrefixSavers();
        ASSERT_TRUE(SaverFilesIn(SystemDir()).empty()) << "a saver is left in the system directory";
        ASSERT_TRUE(SaverFilesIn(WindowsDir()).empty()) << "a saver is left in the Windows directory";
        WriteScrnsave(ABSENT);
        log_ = dir_.file("saver-log.txt");
        SetSaverLog(log_);
        WriteIni(dir_.ini(), "Action", "ScreenSaveCommandWait", "0");
    }

    // Installs logsaver copies under the given names; returns their paths.
    std::vector<std::string> Install(const std::vector<std::string>& names)
    {
        std::vector<std::string> paths;
        for (const std::string& name : names)
            paths.push_back(InstallSaver("logsaver.scr", dir_.saverbox(), name));
        return paths;
    }

    SystemGuard guard_;
    ScratchDir dir_;
    std::string log_;
};

// ---------------------------------------------------------------- start-up

enum class Configured { SAVER_B, SAVER_B_LOWER, KEY_ABSENT, NOTHING_LOWER, LONG_NAME, UNKNOWN };
enum class Outcome { MATCH, RANDOM, UNKNOWN_THEN_RANDOM };

struct StartCase {
    const char* name;
    const char* randomSet;   // nullptr: key absent
    Configured configured;
    Outcome outcome;
};

class StartSync : public SelectionTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartSync, MatchesOrPicksAtRandom)
{
    const StartCase& c = GetParam();
    Install({ "A.SCR", "B.SCR", "My Long Saver.scr" });
    const std::string saverB = dir_.file("saverbox\\B.SCR");
    std::string configured;
    switch (c.configured) {
    case Configured::SAVER_B: configured = saverB; break;
    case Configured::SAVER_B_LOWER: configured = Lower(saverB); break;
    case Configured::KEY_ABSENT: configured = ABSENT; break;
    case Configured::NOTHING_LOWER: configured = "nothing!"; break;
    // The long form, while the catalogue knows the file by its alias.
    case Configured::LONG_NAME: configured = dir_.file("saverbox\\My Long Saver.scr"); break;
    case Configured::UNKNOWN: configured = UNKNOWN_PATH; break;
    }
    WriteScrnsave(configured);
    if (c.randomSet)
        WriteIni(dir_.ini(), "Action", "ScreenSaver_RandomSet", c.randomSet);

    BoxResponder boxes;
    UINT first = NowSeconds();
    MainWindow window;
    UINT last = NowSeconds();
    ASSERT_EQ(3, appState.saverCount);

    if (c.outcome == Outcome::MATCH) {
        EXPECT_EQ(SaverId(IndexOfPath(saverB)), appState.saverItem);
        EXPECT_TRUE(MenuChecked(appState.saverItem));
        EXPECT_EQ(1, CheckedSaverItems());
        EXPECT_EQ(configured, appState.currentSaver);   // SYSTEM.INI's own text
        EXPECT_EQ(configured, ReadScrnsave());          // not rewritten
        EXPECT_EQ(0u, boxes.Count());
        return;
    }
    ExpectRandomChange(PicksBetween(first, last, 3));
    std::vector<BoxRecord> shown = boxes.Boxes();
    if (c.outcome == Outcome::RANDOM) {
        EXPECT_EQ(0u, shown.size());
        return;
    }
    ASSERT_EQ(1u, shown.size());
    ExpectBox(shown[0], UNKNOWN_SAVER_TEXT, NULL, true, false);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartSync, ::testing::Values(
    StartCase{ "ExactPath", nullptr, Configured::SAVER_B, Outcome::MATCH },
    StartCase{ "OtherLetterCase", nullptr, Configured::SAVER_B_LOWER, Outcome::MATCH },
    StartCase{ "RandomSetTwoActsAsZero", "2", Configured::SAVER_B, Outcome::MATCH },
    StartCase{ "RandomSetMinusOneActsAsZero", "-1", Configured::SAVER_B, Outcome::MATCH },
    StartCase{ "RandomSetOne", "1", Configured::SAVER_B, Outcome::RANDOM },
    StartCase{ "NothingConfigured", nullptr, Configured::KEY_ABSENT, Outcome::RANDOM },
    StartCase{ "NothingInOtherCase", nullptr, Configured::NOTHING_LOWER, Outcome::RANDOM },
    StartCase{ "UnknownWithRandomSetOne", "1", Configured::UNKNOWN, Outcome::RANDOM },
    StartCase{ "LongNameWhileTheEntryHasAnAlias", nullptr, Configured::LONG_NAME,
               Outcome::UNKNOWN_THEN_RANDOM },
    StartCase{ "UnknownPath", nullptr, Configured::UNKNOWN, Outcome::UNKNOWN_THEN_RANDOM }),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

TEST_F(SelectionTest, FirstMatchingIndexWins)
{
    // Two entries with one path cannot come from the file system (one folder
    // holds a name once, and folders differ), so entry 2 is given entry 3's
    // path here.
    Install({ "A.SCR", "B.SCR", "C.SCR" });
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(3, appState.saverCount);
    SeekSaver(3);
    SaverEntry third = *appState.cursor;
    SeekSaver(2);
    lstrcpyA(appState.cursor->directory, third.directory);
    lstrcpyA(appState.cursor->longName, third.longName);
    lstrcpyA(appState.cursor->shortName, third.shortName);
    std::string path = Lower(PathOfIndex(3));
    SyncCurrentSaver(window.get(), path.c_str());
    EXPECT_EQ(SaverId(2), appState.saverItem);
    EXPECT_EQ(path, appState.currentSaver);
    EXPECT_EQ(0u, boxes.Count());
}

// ---------------------------------------------------------------- the poll

class PollTest : public SelectionTest {
protected:
    // Three savers, A configured and matched at start.
    void SetUp() override
    {
        SelectionTest::SetUp();
        paths_ = Install({ "A.SCR", "B.SCR", "C.SCR" });
        WriteScrnsave(paths_[0]);
    }
    std::vector<std::string> paths_;
};

TEST_F(PollTest, FollowsAnOutsideChangeToAnotherSaver)
{
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(SaverId(IndexOfPath(paths_[0])), appState.saverItem);
    UINT before = appState.saverItem;
    WriteScrnsave(paths_[2]);
    Poll(window.get());
    EXPECT_EQ(SaverId(IndexOfPath(paths_[2])), appState.saverItem);
    EXPECT_TRUE(MenuChecked(appState.saverItem));
    EXPECT_FALSE(MenuChecked(before));
    EXPECT_EQ(paths_[2], appState.currentSaver);
    EXPECT_EQ(paths_[2], ReadScrnsave());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(PollTest, SameSaverInOtherLetterCaseIsNoChange)
{
    BoxResponder boxes;
    MainWindow window;
    UINT before = appState.saverItem;
    WriteScrnsave(Lower(paths_[0]));
    Poll(window.get());
    EXPECT_EQ(paths_[0], appState.currentSaver);
    EXPECT_EQ(before, appState.saverItem);
    EXPECT_EQ(Lower(paths_[0]), ReadScrnsave());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(PollTest, UnknownSaverOpensOneBoxWhileTheTicksGoOn)
{
    BoxResponder boxes;
    MainWindow window;
    HWND main = window.get();
    // While the first box is open, ticks arrive both from the real timer and
    // posted ones; none of them may start another synchronisation.
    volatile LONG ticked = 0;
    boxes.SetHandler([main, &ticked](const BoxRecord& box) {
        if (box.text != UNKNOWN_SAVER_TEXT || InterlockedExchange(&ticked, 1))
            return false;
        for (int i = 0; i < 3; ++i)
            PostMessageA(main, WM_TIMER, POLL_TIMER_ID, 0);
        Sleep(3 * POLL_INTERVAL_MS);
        return false;
    });
    WriteScrnsave(UNKNOWN_PATH);
    UINT first = NowSeconds();
    Poll(main);
    UINT last = NowSeconds();
    PumpMessages(2 * POLL_INTERVAL_MS);
    ASSERT_EQ(1u, boxes.Count());
    ExpectBox(boxes.Boxes()[0], UNKNOWN_SAVER_TEXT, NULL, true, false);
    ExpectRandomChange(PicksBetween(first, last, 3));

    // The chain is over: the next unknown value is taken up again.
    WriteScrnsave("C:\\elsewhere\\ANOTHER.SCR");
    Poll(main);
    EXPECT_EQ(2u, boxes.Count());
    EXPECT_EQ(IndexOfPath(ReadScrnsave()), (int)appState.saverItem - IDM_SAVER_BASE);
}

struct KeyRemovedCase {
    const char* name;
    const char* randomSet;
    size_t boxes;
};

class PollKeyRemoved : public PollTest, public ::testing::WithParamInterface<KeyRemovedCase> {};

TEST_P(PollKeyRemoved, LeadsToARandomChange)
{
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(paths_[0], appState.currentSaver);
    // Read at every synchronisation: a change by hand counts from the next.
    WriteIni(dir_.ini(), "Action", "ScreenSaver_RandomSet", GetParam().randomSet);
    WriteScrnsave(ABSENT);
    UINT first = NowSeconds();
    Poll(window.get());
    UINT last = NowSeconds();
    ExpectRandomChange(PicksBetween(first, last, 3));
    ASSERT_EQ(GetParam().boxes, boxes.Count());
    if (GetParam().boxes)
        ExpectBox(boxes.Boxes()[0], UNKNOWN_SAVER_TEXT, NULL, true, false);
}

INSTANTIATE_TEST_SUITE_P(Cases, PollKeyRemoved, ::testing::Values(
    KeyRemovedCase{ "RandomSetZeroAsksFirst", "0", 1 },
    KeyRemovedCase{ "RandomSetOneIsSilent", "1", 0 }),
    [](const ::testing::TestParamInfo<KeyRemovedCase>& info) {
        return std::string(info.param.name);
    });

// ---------------------------------------------------------------- the generator

TEST(RandomGenerator, DrawsFollowTheLinearCongruence)
{
    // Anchors, then whole runs for seeds of every kind.
    SeedRandom(0);
    EXPECT_EQ(38, DrawRandom());
    SeedRandom(1);
    EXPECT_EQ(41, DrawRandom());
    for (UINT seed : { 0u, 1u, 2u, 12345u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 1700000000u }) {
        SeedRandom(seed);
        UINT state = seed;
        for (int draw = 0; draw < 6; ++draw)
            EXPECT_EQ(ReferenceDraw(state), DrawRandom()) << seed << " draw " << draw;
    }
}

TEST(RandomGenerator, PickIsTheFirstDrawOfTheCurrentSecond)
{
    ZeroMemory(&appState, sizeof appState);
    for (int count : { 1, 2, 3, 7, 100, MAX_SAVERS }) {
        appState.saverCount = count;
        UINT first, last;
        int pick;
        do {   // until the pick lies within one second of the clock
            first = NowSeconds();
            pick = PickRandomSaver();
            last = NowSeconds();
        } while (first != last);
        EXPECT_EQ(ReferencePick(first, count), pick) << count;
        EXPECT_GE(pick, 1);
        EXPECT_LE(pick, count);
        // Seeded at the pick: the generator goes on from that second.
        UINT state = first;
        ReferenceDraw(state);
        EXPECT_EQ(ReferenceDraw(state), DrawRandom()) << count;
    }
}

TEST(RandomGenerator, TwoPicksInOneSecondAgree)
{
    ZeroMemory(&appState, sizeof appState);
    appState.saverCount = MAX_SAVERS;
    int firstPick, secondPick;
    UINT first, last;
    do {
        first = NowSeconds();
        firstPick = PickRandomSaver();
        DrawRandom();   // draws in between change nothing
        secondPick = PickRandomSaver();
        last = NowSeconds();
    } while (first != last);
    EXPECT_EQ(firstPick, secondPick);
}

// ---------------------------------------------------------------- selection

class SelectTest : public SelectionTest {
protected:
    // A (matched at start), a saver with an alias, and C.
    void SetUp() override
    {
        SelectionTest::SetUp();
        paths_ = Install({ "A.SCR", "My Long Saver.scr", "C.SCR" });
        alias_ = JoinPath(dir_.saverbox(), ShortNameOf(paths_[1]));
        ASSERT_NE(paths_[1], alias_);
    }
    std::vector<std::string> paths_;
    std::string alias_;
};

TEST_F(SelectTest, CheckedItemDoesNothingAtAll)
{
    // Configured in lower case: any write would show as the canonical text.
    WriteScrnsave(Lower(paths_[0]));
    BoxResponder boxes;
    MainWindow window;
    UINT checked = appState.saverItem;
    ASSERT_EQ(SaverId(IndexOfPath(paths_[0])), checked);
    SendCommand(window.get(), checked);
    EXPECT_EQ(Lower(paths_[0]), ReadScrnsave());
    EXPECT_EQ(Lower(paths_[0]), appState.currentSaver);
    EXPECT_EQ(checked, appState.saverItem);
    EXPECT_TRUE(MenuChecked(checked));
    PumpMessages(100);
    EXPECT_EQ(0u, boxes.Count());
}

struct SelectCase {
    const char* name;
    const char* openMessageBox;   // nullptr: absent, default 3
    bool box;
};

class SelectAnother : public SelectTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(SelectAnother, WritesItsPathMovesTheCheckAndAnnouncesWithBitOne)
{
    WriteScrnsave(paths_[0]);
    if (GetParam().openMessageBox)
        WriteIni(dir_.ini(), "Message", "OpenMessageBox", GetParam().openMessageBox);
    BoxResponder boxes;
    MainWindow window;
    UINT before = appState.saverItem;
    UINT activeBefore = SpiActive();
    int target = IndexOfPath(alias_);
    ASSERT_NE(0, target);

    SendCommand(window.get(), SaverId(target));
    EXPECT_EQ(alias_, ReadScrnsave());   // the alias, not the long name
    EXPECT_EQ(alias_, appState.currentSaver);
    EXPECT_EQ(SaverId(target), appState.saverItem);
    EXPECT_TRUE(MenuChecked(SaverId(target)));
    EXPECT_FALSE(MenuChecked(before));
    EXPECT_EQ(activeBefore, SpiActive());   // announced with its own value
    ASSERT_EQ(GetParam().box ? 1u : 0u, boxes.Count());
    if (GetParam().box) {
        // The long stem, also though the menu shows the display name.
        ExpectBox(boxes.Boxes()[0], ChangedText("My Long Saver"), window.get(), false, false);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SelectAnother, ::testing::Values(
    SelectCase{ "DefaultFlags", nullptr, true },
    SelectCase{ "NoMessages", "0", false },
    SelectCase{ "StateMessageOnly", "1", false },
    SelectCase{ "ChangeMessageOnly", "2", true },
    SelectCase{ "BothMessages", "3", true }),
    [](const ::testing::TestParamInfo<SelectCase>& info) { return std::string(info.param.name); });

TEST_F(SelectTest, SaverCommandIdsAreFoldedThroughLastSaverIndex)
{
    WriteIni(dir_.ini(), "Message", "OpenMessageBox", "0");
    BoxResponder boxes;
    MainWindow window;
    for (int index : { 3, 1, 2 }) {
        SendCommand(window.get(), SaverId(index));
        EXPECT_EQ(index, appState.lastSaverIndex);
        EXPECT_EQ(SaverId(index), appState.saverItem);
        EXPECT_EQ(PathOfIndex(index), ReadScrnsave()) << index;
    }
    // 41000 itself keeps lastSaverIndex (the saver already checked: nothing
    // happens); 41900 and later are other commands, and 41901 is none.
    std::string configured = ReadScrnsave();
    for (UINT id : { (UINT)IDM_SAVER_BASE, IDM_SAVER_LAST + 2u }) {
        SendCommand(window.get(), id);
        EXPECT_EQ(2, appState.lastSaverIndex) << id;
        EXPECT_EQ(SaverId(2), appState.saverItem) << id;
        EXPECT_EQ(configured, ReadScrnsave()) << id;
    }
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectTest, SaverIdOutsideTheCatalogueChangesNothing)
{
    // Only the menu's own ids name entries; any other sender may post an id
    // that names none: 41000 before any saver command (index 0, the head of
    // the ring) or an index beyond the catalogue.
    WriteScrnsave(paths_[0]);
    BoxResponder boxes;
    MainWindow window;
    UINT checked = appState.saverItem;
    ASSERT_EQ(SaverId(IndexOfPath(paths_[0])), checked);
    for (UINT id : { (UINT)IDM_SAVER_BASE, SaverId(4), (UINT)IDM_SAVER_LAST,
                     (UINT)IDM_SAVER_BASE }) {
        SendCommand(window.get(), id);
        EXPECT_EQ(paths_[0], ReadScrnsave()) << id;
        EXPECT_EQ(paths_[0], appState.currentSaver) << id;
        EXPECT_EQ(checked, appState.saverItem) << id;
        EXPECT_TRUE(MenuChecked(checked)) << id;
    }
    PumpMessages(100);
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectTest, RandomChangeWritesAndChecksWithoutABox)
{
    WriteScrnsave(paths_[0]);
    BoxResponder boxes;   // OpenMessageBox default 3: still no box
    MainWindow window;
    UINT first, last;
    std::string firstChoice;
    do {   // two changes within one second pick the same saver
        first = NowSeconds();
        SendCommand(window.get(), IDM_RANDOM_CHANGE);
        firstChoice = ReadScrnsave();
        SendCommand(window.get(), IDM_RANDOM_CHANGE);
        last = NowSeconds();
    } while (first != last);
    ExpectRandomChange({ ReferencePick(first, 3) });
    EXPECT_EQ(firstChoice, ReadScrnsave());
    PumpMessages(100);
    EXPECT_EQ(0u, boxes.Count());
}

// ---------------------------------------------------------------- the saver's settings

class BlankFolderTest : public SelectionTest {
protected:
    // The current directory holds a blank, so an unquoted command line
    // would name another program.
    void SetUp() override
    {
        SelectionTest::SetUp();
        folder_ = dir_.file(BLANK_FOLDER);
        CreateDirectoryA(folder_.c_str(), NULL);
        // What an unquoted "...\My Programs\saverbox\X.SCR" runs first. It
        // logs too, with a command line that is not the expected one.
        InstallSaver("logsaver.scr", dir_.path(), DECOY_NAME);
        ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
        box_ = JoinPath(folder_, "saverbox");
    }
    std::string folder_;
    std::string box_;
};

TEST_F(BlankFolderTest, ConfigureRunsTheCurrentSaverQuotedWithoutArguments)
{
    std::string saver = InstallSaver("logsaver.scr", box_, "A.SCR");
    WriteScrnsave(saver);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(saver, appState.currentSaver);
    SendCommand(window.get(), IDM_SAVER_SETUP);
    std::vector<std::string> lines = WaitForLogLines(log_, 1);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("\"" + saver + "\"", lines[0]);
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ(saver, ReadScrnsave());
}

TEST_F(SelectionTest, ConfigureOfADeletedSaverSaysMovedAndRefreshes)
{
    std::vector<std::string> paths = Install({ "A.SCR" });
    WriteScrnsave(paths[0]);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_TRUE(DeleteFileA(paths[0].c_str()));
    std::string other = InstallSaver("logsaver.scr", dir_.saverbox(), "B.SCR");
    SendCommand(window.get(), IDM_SAVER_SETUP);
    ASSERT_EQ(1u, boxes.Count());
    ExpectBox(boxes.Boxes()[0], MOVED_TEXT, window.get(), false, true);
    // Refreshed: the one saver left is listed and configured.
    EXPECT_EQ(1, appState.saverCount);
    EXPECT_EQ(other, ReadScrnsave());
    EXPECT_EQ(other, appState.currentSaver);
    EXPECT_TRUE(MenuChecked(SaverId(1)));
    EXPECT_TRUE(ReadLogLines(log_).empty());
}

// ---------------------------------------------------------------- random start

TEST_F(BlankFolderTest, RandomStartRunsAPickQuotedAfterTheWaitAndChangesNothing)
{
    constexpr DWORD WAIT_MS = 600;
    for (const char* name : { "A.SCR", "B.SCR", "My Long Saver.scr" })
        InstallSaver("logsaver.scr", box_, name);
    std::string configured = JoinPath(box_, "B.SCR");
    WriteScrnsave(configured);
    WriteIni(JoinPath(folder_, "NAPKIT.INI"), "Action", "ScreenSaveCommandWait", "600");
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(3, appState.saverCount);
    UINT checked = appState.saverItem;

    UINT first = NowSeconds();
    DWORD start = GetTickCount();
    SendCommand(window.get(), IDM_START_RANDOM);
    DWORD elapsed = GetTickCount() - start;
    UINT last = NowSeconds();
    EXPECT_GE(elapsed, WAIT_MS - 10);
    int started = appState.cursor->index;   // the cursor moved to the pick
    EXPECT_TRUE(Contains(PicksBetween(first, last, 3), started));

    std::vector<std::string> lines = WaitForLogLines(log_, 1);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("\"" + PathOfIndex(started) + "\" /s", lines[0]);
    EXPECT_EQ(configured, ReadScrnsave());
    EXPECT_EQ(configured, appState.currentSaver);
    EXPECT_EQ(checked, appState.saverItem);
    EXPECT_EQ(1, CheckedSaverItems());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectionTest, RandomStartOfADeletedSaverRefreshesAndStartsAgain)
{
    std::vector<std::string> paths = Install({ "A.SCR" });
    WriteScrnsave(paths[0]);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_TRUE(DeleteFileA(paths[0].c_str()));
    std::string other = InstallSaver("logsaver.scr", dir_.saverbox(), "B.SCR");
    SendCommand(window.get(), IDM_START_RANDOM);
    ASSERT_EQ(1u, boxes.Count());
    ExpectBox(boxes.Boxes()[0], DELETED_TEXT, window.get(), false, true);
    std::vector<std::string> lines = WaitForLogLines(log_, 1);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("\"" + other + "\" /s", lines[0]);
    // The refresh made its random change of the configured saver.
    EXPECT_EQ(other, ReadScrnsave());
    EXPECT_TRUE(MenuChecked(SaverId(1)));
}

TEST_F(SelectionTest, RandomStartWhenNoSaverIsLeftEndsTheProgram)
{
    std::vector<std::string> paths = Install({ "A.SCR" });
    WriteScrnsave(paths[0]);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_TRUE(DeleteFileA(paths[0].c_str()));
    std::string systemIni = ReadFileBytes(SystemIniPath());
    SendCommand(window.get(), IDM_START_RANDOM);
    std::vector<BoxRecord> shown = boxes.Boxes();
    ASSERT_EQ(2u, shown.size());
    ExpectBox(shown[0], DELETED_TEXT, window.get(), false, true);
    ExpectBox(shown[1], EMPTY_CATALOGUE_TEXT, NULL, true, false);
    EXPECT_TRUE(QuitPosted());
    EXPECT_EQ(NULL, appState.menuRoot);
    EXPECT_EQ(0, appState.refreshing);
    EXPECT_EQ(systemIni, ReadFileBytes(SystemIniPath()));
    PumpMessages(300);
    EXPECT_TRUE(ReadLogLines(log_).empty());
}

struct RetryCase {
    const char* name;
    int files;
};

class RandomStartRetry : public SelectionTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(RandomStartRetry, SaverThatCannotRunIsRetriedAtMostThreeTimes)
{
    // Files that exist but are no modules: every start fails, every refresh
    // finds them again.
    CreateDirectoryA(dir_.saverbox().c_str(), NULL);
    for (int i = 0; i < GetParam().files; ++i)
        WriteFileBytes(dir_.file("saverbox\\BAD" + std::to_string(i) + ".SCR"), NOT_A_MODULE);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(GetParam().files, appState.saverCount);
    const size_t perCommand = 1 + RETRY_LIMIT;
    for (size_t command = 1; command <= 2; ++command) {   // the bound is per chain
        SendCommand(window.get(), IDM_START_RANDOM);
        PumpMessages(200);
        ASSERT_EQ(command * perCommand, boxes.Count()) << "command " << command;
    }
    for (const BoxRecord& box : boxes.Boxes())
        ExpectBox(box, DELETED_TEXT, window.get(), false, true);
    EXPECT_EQ(0, appState.randomStartRetries);
    EXPECT_TRUE(IsWindow(window.get()));
    EXPECT_NE((HMENU)NULL, appState.menuRoot);
}

INSTANTIATE_TEST_SUITE_P(Cases, RandomStartRetry, ::testing::Values(
    RetryCase{ "OnlyEntry", 1 }, RetryCase{ "AllEntries", 2 }),
    [](const ::testing::TestParamInfo<RetryCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- refresh

TEST_F(SelectionTest, RefreshRebuildsTheMenuPicksAtRandomAndKeepsTheFourGroupsChecked)
{
    std::vector<std::string> paths = Install({ "A.SCR", "B.SCR" });
    // Configured in lower case: the refresh writes even an unchanged saver.
    WriteScrnsave(Lower(paths[0]));
    WriteIni(dir_.ini(), "Action", "IconDubbleClick", "0");
    SetSpiTimeout(600);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(2, appState.saverCount);

    ASSERT_TRUE(DeleteFileA(paths[1].c_str()));
    Install({ "C.SCR", "D.SCR" });
    std::vector<std::string> names = SaverFilesIn(dir_.saverbox());
    ASSERT_EQ(3u, names.size());
    UINT first = NowSeconds();
    SendCommand(window.get(), IDM_REFRESH);
    UINT last = NowSeconds();

    EXPECT_EQ(0, appState.refreshing);
    ASSERT_EQ(3, appState.saverCount);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(JoinPath(dir_.saverbox(), names[i - 1]), PathOfIndex(i));
    HMENU submenu = SaverSubmenu();
    ASSERT_NE((HMENU)NULL, submenu);
    EXPECT_EQ(3 + 3, GetMenuItemCount(submenu));
    EXPECT_EQ(SaverId(3), GetMenuItemID(submenu, 0));
    EXPECT_EQ(SaverId(1), GetMenuItemID(submenu, 2));
    EXPECT_FALSE(MenuItemExists(IDM_SAVER_BASE));
    ExpectRandomChange(PicksBetween(first, last, 3));

    EXPECT_EQ((UINT)IDM_DBLCLICK_START, appState.dblClickItem);
    EXPECT_EQ((UINT)IDM_TIMEOUT_10, appState.timeoutItem);
    for (UINT item : { appState.dblClickItem, appState.stateItem, appState.timeoutItem,
                       appState.saverItem })
        EXPECT_TRUE(MenuChecked(item)) << item;
    for (UINT item : { (UINT)IDM_DBLCLICK_TOGGLE, (UINT)IDM_TIMEOUT_5, (UINT)IDM_TIMEOUT_CUSTOM,
                       appState.stateItem == IDM_STATE_ON ? (UINT)IDM_STATE_OFF
                                                          : (UINT)IDM_STATE_ON })
        EXPECT_FALSE(MenuChecked(item)) << item;
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectionTest, RefreshKeepsTheCheckWhenThePickIsTheSameItem)
{
    std::vector<std::string> paths = Install({ "A.SCR" });
    WriteScrnsave(Lower(paths[0]));
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(SaverId(1), appState.saverItem);
    SendCommand(window.get(), IDM_REFRESH);
    EXPECT_EQ(SaverId(1), appState.saverItem);
    EXPECT_TRUE(MenuChecked(SaverId(1)));   // on the fresh menu
    EXPECT_EQ(paths[0], ReadScrnsave());
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(SelectionTest, RefreshWithNoSaverLeftEndsTheProgram)
{
    std::vector<std::string> paths = Install({ "A.SCR" });
    WriteScrnsave(paths[0]);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_TRUE(DeleteFileA(paths[0].c_str()));
    std::string systemIni = ReadFileBytes(SystemIniPath());
    SendCommand(window.get(), IDM_REFRESH);
    ASSERT_EQ(1u, boxes.Count());
    ExpectBox(boxes.Boxes()[0], EMPTY_CATALOGUE_TEXT, NULL, true, false);
    EXPECT_TRUE(QuitPosted());
    EXPECT_EQ(NULL, appState.menuRoot);
    EXPECT_EQ(0, appState.refreshing);
    EXPECT_EQ(systemIni, ReadFileBytes(SystemIniPath()));
}

// ---------------------------------------------------------------- the whole program

TEST_F(SelectionTest, NapkitStartsARandomSaverWithSlashS)
{
    std::vector<std::string> paths = Install({ "A.SCR" });
    WriteScrnsave(paths[0]);
    ChildProcess napkit;
    ASSERT_TRUE(StartNapkit(napkit, dir_.path()));
    BoxResponder boxes(napkit.id());
    HWND window = FindNapkitWindow(napkit.id(), CHILD_TIMEOUT_MS);
    ASSERT_TRUE(window != NULL);
    // The window can be found while its set-up still runs; a command sent
    // then would meet an empty catalogue. Idle means the set-up is over.
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
