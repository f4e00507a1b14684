// The saver catalogue as the main window builds it: the three folders and
// their order in the menu, ids, labels, path forms, the saverbox folder, the
// empty catalogue, and the limits (899 savers, 259-character paths, display
// names read without running anything, a seek that cannot loop for ever).
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "app/app.h"
#include "catalogue/catalogue.h"
#include "res/resource.h"
#include "ui/ui.h"

#include <algorithm>

using namespace harness;

namespace {

constexpr char SAVER_SUBMENU[] = "スクリーンセーバー変更";
constexpr char SETUP_LABEL[] = "設定";
constexpr char RANDOM_CHANGE_LABEL[] = "ランダムチェンジ";
constexpr char LOGGER_LABEL[] = "テスト用ロガー";            // string 1 of logsaver.scr
constexpr char DEMO_LABEL[] = "デモスクリーンセーバー";      // string 1 of demosaver.scr
// String 1 of longname.scr: 82 bytes, byte 62 is the lead byte of "め".
constexpr char LONG_STRING_ONE[] =
    "ABとても長い名前のスクリーンセーバーで表示名の切り詰め方を確かめるための試験用です";
constexpr size_t LABEL_LIMIT = 63;
constexpr char EMPTY_CATALOGUE_TEXT[] =
    "スクリーンセーバーが１つもありません。\n"
    "一度終了しますので、スクリーンセーバーをインストールした後に\n"
    "「NAPKIT」を再度実行して下さい。";
constexpr char NOT_A_MODULE[] = "these bytes are not a Windows module";
// Savers put into the prefix's system and Windows directories all start
// with this, so that strays of an aborted run can be found and removed.
constexpr char PREFIX_MARK[] = "NKT";
constexpr size_t MAX_PATH_CHARS = MAX_PATH - 1;   // 259

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

void RemoveStrayPrefixSavers()
{
    for (const std::string& dir : { SystemDir(), WindowsDir() }) {
        for (const std::string& name : SaverFilesIn(dir)) {
            if (name.compare(0, 3, PREFIX_MARK) == 0)
                DeleteFileA(JoinPath(dir, name).c_str());
        }
    }
}

// A saver in the system or Windows directory. Those folders belong to the
// prefix and outlive the test, so the file goes again in every case.
class PrefixSaver {
public:
    PrefixSaver(const char* builtName, const std::string& dir, const std::string& name)
        : path_(InstallSaver(builtName, dir, name)) {}
    ~PrefixSaver() { DeleteFileA(path_.c_str()); }
    PrefixSaver(const PrefixSaver&) = delete;
    PrefixSaver& operator=(const PrefixSaver&) = delete;
private:
    std::string path_;
};

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
    }
    HWND get() const { return window_; }
private:
    HWND window_;
};

struct MenuRow {
    UINT id;
    std::string text;
    bool separator;
};

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

std::vector<MenuRow> RowsOf(HMENU menu)
{
    std::vector<MenuRow> rows;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        rows.push_back({ GetMenuItemID(menu, i), MenuText(menu, i), (state & MF_SEPARATOR) != 0 });
    }
    return rows;
}

std::string LabelOfItem(UINT id)
{
    char text[256] = "";
    GetMenuStringA(appState.menuRoot, id, text, sizeof text, MF_BYCOMMAND);
    return text;
}

std::string PathOfIndex(int index)
{
    SeekSaver(index);
    char path[MAX_PATH];
    SaverPathOf(appState.cursor, path);
    return path;
}

std::string StemOfIndex(int index)
{
    SeekSaver(index);
    char stem[MAX_PATH];
    SaverStemOf(appState.cursor, stem);
    return stem;
}

// A display name must never end in the first byte of a double-byte character.
bool EndsInLeadByte(const std::string& text)
{
    bool lead = false;
    for (size_t i = 0; i < text.size(); ++i)
        lead = !lead && IsDBCSLeadByte((BYTE)text[i]);
    return lead;
}

// Makes nested folders under base until the full path is exactly length
// characters long; returns it ("" when it could not be made).
std::string MakeDirOfLength(const std::string& base, size_t length)
{
    std::string path = base;
    while (path.size() < length) {
        size_t room = length - path.size() - 1;
        size_t part = std::min<size_t>(room, 60);
        if (part == 0)
            return "";
        path += "\\" + std::string(part, 'd');
        if (!CreateDirectoryA(path.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS)
            return "";
    }
    return path;
}

// A copy of logsaver.scr marked as a DLL whose import of msvcrt.dll names a
// DLL that does not exist: loading it as a module fails, reading it as a
// data file still finds its string 1.
void WriteSaverWithMissingImport(const std::string& path)
{
    std::string bytes = ReadFileBytes(SaverFile("logsaver.scr"));
    size_t import = bytes.find("msvcrt.dll");
    ASSERT_NE(std::string::npos, import);
    bytes.replace(import, 10, "nkmiss.dll");
    DWORD header = *(const DWORD*)&bytes[0x3C];
    WORD* characteristics = (WORD*)&bytes[header + 4 + 18];   // after "PE\0\0", Machine ...
    *characteristics |= IMAGE_FILE_DLL;
    WriteFileBytes(path, bytes);
}

// Loads a module in a process of its own: a failed load in this process
// keeps the file open under Wine, so the scratch folder could not go.
// regsvr32 tells a failed load (3) from a module without the entry (4).
constexpr DWORD REGSVR_LOAD_FAILED = 3;
constexpr DWORD REGSVR_NO_ENTRY = 4;
constexpr DWORD CHILD_TIMEOUT_MS = 10000;

DWORD LoadInChildProcess(const std::string& path)
{
    ChildProcess regsvr;
    if (!regsvr.Start("regsvr32.exe /s \"" + path + "\"", ""))
        return STILL_ACTIVE;
    return regsvr.Wait(CHILD_TIMEOUT_MS);
}

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveStrayPrefixSavers();
        ASSERT_TRUE(SaverFilesIn(SystemDir()).empty()) << "a saver is left in the system directory";
        ASSERT_TRUE(SaverFilesIn(WindowsDir()).empty()) << "a saver is left in the Windows directory";
        // No configured saver: start-up makes a random change, never the
        // unknown-saver box.
        WriteScrnsave(ABSENT);
    }

    SystemGuard guard_;
    ScratchDir dir_;
};

// ---------------------------------------------------------------- order and ids

TEST_F(CatalogueTest, MenuListsTheFoldersLastFoundFirstWithFallingIds)
{
    // Nameless savers are labelled with their stems, so every row tells its file.
    InstallSaver("nameless.scr", dir_.saverbox(), "BOXA.SCR");
    InstallSaver("nameless.scr", dir_.saverbox(), "Box B.scr");
    PrefixSaver sys1("nameless.scr", SystemDir(), "NKTSYSA.SCR");
    PrefixSaver sys2("nameless.scr", SystemDir(), "NKTSYSB.SCR");
    PrefixSaver win("nameless.scr", WindowsDir(), "NKTWIN.SCR");

    struct Found { std::string dir, name; };
    std::vector<Found> expected;   // in discovery order: index 1, 2, ...
    for (const std::string& dir : { dir_.saverbox(), SystemDir(), WindowsDir() }) {
        for (const std::string& name : SaverFilesIn(dir))
            expected.push_back({ dir, name });
    }
    ASSERT_EQ(5u, expected.size());

    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(5, appState.saverCount);

    // The ring: head, then 1..5 in discovery order, back to the head.
    SeekSaver(0);
    SaverEntry* head = appState.cursor;
    SaverEntry* entry = head->next;
    for (size_t i = 0; i < expected.size(); ++i, entry = entry->next) {
        EXPECT_EQ((int)i + 1, entry->index);
        EXPECT_EQ(expected[i].dir, entry->directory);
        EXPECT_EQ(expected[i].name, entry->longName);
    }
    EXPECT_EQ(head, entry);

    // The submenu: found last on top, ids falling, then the fixed items.
    std::vector<MenuRow> rows = RowsOf(SaverSubmenu());
    ASSERT_EQ(expected.size() + 3, rows.size());
    for (size_t row = 0; row < expected.size(); ++row) {
        size_t index = expected.size() - row;   // 5, 4, ..., 1
        const std::string& name = expected[index - 1].name;
        EXPECT_EQ(IDM_SAVER_BASE + index, rows[row].id) << row;
        EXPECT_EQ(name.substr(0, name.size() - 4), rows[row].text) << row;
        EXPECT_FALSE(rows[row].separator);
    }
    EXPECT_TRUE(rows[5].separator);
    EXPECT_EQ((UINT)IDM_SAVER_SETUP, rows[6].id);
    EXPECT_EQ(SETUP_LABEL, rows[6].text);
    EXPECT_EQ((UINT)IDM_RANDOM_CHANGE, rows[7].id);
    EXPECT_EQ(RANDOM_CHANGE_LABEL, rows[7].text);
    EXPECT_FALSE(MenuItemExists(IDM_SAVER_BASE));   // "無し" is gone
    // Items are plain, enabled text items.
    EXPECT_EQ(0u, GetMenuState(appState.menuRoot, IDM_SAVER_BASE + 1, MF_BYCOMMAND)
                      & (MF_GRAYED | MF_DISABLED));
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(CatalogueTest, SameFileNameInTwoFoldersGivesTwoEntries)
{
    InstallSaver("nameless.scr", dir_.saverbox(), "NKTDUP.SCR");
    PrefixSaver sys("nameless.scr", SystemDir(), "NKTDUP.SCR");
    PrefixSaver win("nameless.scr", WindowsDir(), "NKTDUP.SCR");
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(3, appState.saverCount);
    EXPECT_EQ(JoinPath(dir_.saverbox(), "NKTDUP.SCR"), PathOfIndex(1));
    EXPECT_EQ(JoinPath(SystemDir(), "NKTDUP.SCR"), PathOfIndex(2));
    EXPECT_EQ(JoinPath(WindowsDir(), "NKTDUP.SCR"), PathOfIndex(3));
    for (UINT id = IDM_SAVER_BASE + 1; id <= IDM_SAVER_BASE + 3; ++id)
        EXPECT_EQ("NKTDUP", LabelOfItem(id)) << id;
}

// ---------------------------------------------------------------- labels

enum class FileKind { BUILT, NOT_A_MODULE, FOLDER };

struct LabelCase {
    const char* name;
    FileKind kind;
    const char* builtName;      // for BUILT
    std::string fileName;
    const char* useSaverName;   // nullptr: key absent (default 1)
    std::string label;
};

// 40 full-width characters: an 80-byte stem whose byte 62 is a lead byte.
const std::string LONG_JAPANESE_STEM =
    "日本語の長いファイル名を持つスクリーンセーバーで表示名の切り詰めを確かめる";

class SaverLabel : public CatalogueTest, public ::testing::WithParamInterface<LabelCase> {};

TEST_P(SaverLabel, ComesFromStringOneOrTheStem)
{
    const LabelCase& c = GetParam();
    std::string path = JoinPath(dir_.saverbox(), c.fileName);
    CreateDirectoryA(dir_.saverbox().c_str(), NULL);
    if (c.kind == FileKind::BUILT)
        InstallSaver(c.builtName, dir_.saverbox(), c.fileName);
    else if (c.kind == FileKind::NOT_A_MODULE)
        WriteFileBytes(path, NOT_A_MODULE);
    else
        CreateDirectoryA(path.c_str(), NULL);
    if (c.useSaverName)
        WriteIni(dir_.ini(), "Action", "UseSaverName", c.useSaverName);

    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(1, appState.saverCount);
    std::string label = LabelOfItem(IDM_SAVER_BASE + 1);
    EXPECT_EQ(c.label, label);
    EXPECT_LE(label.size(), LABEL_LIMIT);
    EXPECT_FALSE(EndsInLeadByte(label));
    EXPECT_EQ(0u, boxes.Count());
}

INSTANTIATE_TEST_SUITE_P(Cases, SaverLabel, ::testing::Values(
    LabelCase{ "StringOne", FileKind::BUILT, "logsaver.scr", "LOGGER.SCR", nullptr, LOGGER_LABEL },
    LabelCase{ "RealSaverStringOne", FileKind::BUILT, "demosaver.scr", "DEMO.SCR", nullptr,
               DEMO_LABEL },
    LabelCase{ "NoStringTable", FileKind::BUILT, "nameless.scr", "NAMELESS.SCR", nullptr,
               "NAMELESS" },
    LabelCase{ "UseSaverNameZero", FileKind::BUILT, "logsaver.scr", "LOGGER.SCR", "0", "LOGGER" },
    LabelCase{ "UseSaverNameTwo", FileKind::BUILT, "logsaver.scr", "LOGGER.SCR", "2",
               LOGGER_LABEL },
    // Decision: a string block without string 1 shows the stem.
    LabelCase{ "BlockWithoutStringOne", FileKind::BUILT, "emptyname.scr", "EMPTY.SCR", nullptr,
               "EMPTY" },
    // Cut before the lone lead byte at byte 62: "AB" and 30 characters.
    LabelCase{ "LongStringOneCutWhole", FileKind::BUILT, "longname.scr", "LONG.SCR", nullptr,
               std::string(LONG_STRING_ONE).substr(0, 62) },
    LabelCase{ "LongStemCutWhole", FileKind::BUILT, "nameless.scr", LONG_JAPANESE_STEM + ".scr",
               nullptr, LONG_JAPANESE_STEM.substr(0, 62) },
    LabelCase{ "StemKeepsBlanksAndCase", FileKind::BUILT, "nameless.scr", "My Long Saver.scr",
               nullptr, "My Long Saver" },
    LabelCase{ "NotAModule", FileKind::NOT_A_MODULE, nullptr, "x.scr", nullptr, "x" },
    // The search's attributes are not looked at: a folder counts as a saver.
    LabelCase{ "FolderNamedScr", FileKind::FOLDER, nullptr, "x.scr", nullptr, "x" }),
    [](const ::testing::TestParamInfo<LabelCase>& info) { return std::string(info.param.name); });

TEST_F(CatalogueTest, DisplayNameIsReadWithoutLoadingTheModule)
{
    // A module whose imports cannot be resolved cannot be loaded to run;
    // read as data its string 1 is still there.
    std::string path = JoinPath(dir_.saverbox(), "NOIMPORT.SCR");
    CreateDirectoryA(dir_.saverbox().c_str(), NULL);
    WriteSaverWithMissingImport(path);
    ASSERT_EQ(REGSVR_LOAD_FAILED, LoadInChildProcess(path))
        << "the fixture must not be loadable as a module";
    ASSERT_EQ(REGSVR_NO_ENTRY, LoadInChildProcess(SaverFile("logsaver.scr")))
        << "an intact saver loads";

    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(1, appState.saverCount);
    EXPECT_EQ(LOGGER_LABEL, LabelOfItem(IDM_SAVER_BASE + 1));
}

// ---------------------------------------------------------------- path forms

struct PathCase {
    const char* name;
    std::string fileName;
};

class SaverPath : public CatalogueTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(SaverPath, UsesTheAliasWhenThereIsOne)
{
    std::string file = InstallSaver("nameless.scr", dir_.saverbox(), GetParam().fileName);
    std::string alias = ShortNameOf(file);   // hashed under Wine: never predicted
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(1, appState.saverCount);
    SeekSaver(1);
    EXPECT_EQ(dir_.saverbox(), appState.cursor->directory);
    EXPECT_EQ(GetParam().fileName, appState.cursor->longName);
    EXPECT_EQ(alias, appState.cursor->shortName);
    std::string expected = JoinPath(dir_.saverbox(), alias.empty() ? GetParam().fileName : alias);
    EXPECT_EQ(expected, PathOfIndex(1));
    const std::string& name = GetParam().fileName;
    EXPECT_EQ(name.substr(0, name.size() - 4), StemOfIndex(1));
    // The configured saver is written in this same form.
    EXPECT_EQ(expected, ReadScrnsave());
}

INSTANTIATE_TEST_SUITE_P(Cases, SaverPath, ::testing::Values(
    PathCase{ "UpperCaseEightDotThree", "UPPER.SCR" },
    PathCase{ "Blanks", "My Long Saver.scr" },
    PathCase{ "LowerCase", "lowercase.scr" },
    PathCase{ "LongerThanEight", "TOOLONGNAME.SCR" }),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST_F(CatalogueTest, StemDropsTheLastFourCharactersWhateverTheyAre)
{
    // ".SCR" in upper case, and a name whose stem is just one character.
    InstallSaver("nameless.scr", dir_.saverbox(), "Q.SCR");
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(1, appState.saverCount);
    EXPECT_EQ("Q", StemOfIndex(1));
    SeekSaver(0);
    char stem[MAX_PATH] = "unchanged";
    SaverStemOf(appState.cursor, stem);   // the head has no name
    EXPECT_STREQ("", stem);
}

// ---------------------------------------------------------------- the saverbox folder

TEST_F(CatalogueTest, MissingSaverboxIsCreatedAndTheOtherFoldersStillCount)
{
    PrefixSaver sys("nameless.scr", SystemDir(), "NKTSYS.SCR");
    ASSERT_FALSE(FileExists(dir_.saverbox()));
    BoxResponder boxes;
    MainWindow window;
    DWORD attributes = GetFileAttributesA(dir_.saverbox().c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_EQ(1, appState.saverCount);
    EXPECT_EQ(JoinPath(SystemDir(), "NKTSYS.SCR"), PathOfIndex(1));
    EXPECT_EQ(0u, boxes.Count());
}

TEST_F(CatalogueTest, SaverboxThatIsAFileIsLeftAloneAndYieldsNothing)
{
    PrefixSaver win("nameless.scr", WindowsDir(), "NKTWIN.SCR");
    WriteFileBytes(dir_.saverbox(), "a file, not a folder");
    BoxResponder boxes;
    MainWindow window;
    EXPECT_EQ("a file, not a folder", ReadFileBytes(dir_.saverbox()));
    EXPECT_FALSE(GetFileAttributesA(dir_.saverbox().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_EQ(1, appState.saverCount);
    EXPECT_EQ(JoinPath(WindowsDir(), "NKTWIN.SCR"), PathOfIndex(1));
    EXPECT_EQ(0u, boxes.Count());
}

// ---------------------------------------------------------------- empty catalogue

TEST_F(CatalogueTest, NoSaverAnywhereEndsTheProgramWithoutWritingSystemIni)
{
    std::string systemIniBefore = ReadFileBytes(SystemIniPath());
    BoxResponder boxes;
    MainWindow window;
    ASSERT_TRUE(IsWindow(window.get()));   // the window is left in place, hidden

    // The quit request is waiting for the message loop's first fetch.
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));

    ASSERT_EQ(1u, boxes.Count());
    BoxRecord box = boxes.Boxes()[0];
    EXPECT_EQ("NAPKIT", box.caption);
    EXPECT_EQ(EMPTY_CATALOGUE_TEXT, box.text);
    EXPECT_EQ(NULL, box.owner);
    EXPECT_TRUE(box.topmost);
    EXPECT_FALSE(box.hasIcon);
    EXPECT_EQ(1, box.buttons);

    EXPECT_EQ(0, appState.saverCount);
    EXPECT_EQ(NULL, appState.menuRoot);   // torn down
    // The tray icon is gone: modifying it fails.
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFY_DATA_V1_SIZE;
    icon.hWnd = window.get();
    icon.uID = TRAY_ICON_ID;
    icon.uFlags = NIF_TIP;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &icon));
    // No match, no random choice, nothing written.
    EXPECT_EQ(systemIniBefore, ReadFileBytes(SystemIniPath()));
    EXPECT_EQ(0u, appState.saverItem);
    EXPECT_TRUE(FileExists(dir_.saverbox()));
}

// ---------------------------------------------------------------- limits

TEST_F(CatalogueTest, CatalogueStopsAtEightHundredNinetyNineSavers)
{
    // 900 real files; the 900th and a saver in the system directory, found
    // after it, are not listed, so no saver item reaches 41900.
    constexpr int FILE_COUNT = 900;
    CreateDirectoryA(dir_.saverbox().c_str(), NULL);
    std::string source = SaverFile("nameless.scr");
    DWORD start = GetTickCount();
    for (int i = 0; i < FILE_COUNT; ++i) {
        char name[16];
        wsprintfA(name, "S%03d.SCR", i);
        ASSERT_TRUE(CopyFileA(source.c_str(), JoinPath(dir_.saverbox(), name).c_str(), FALSE));
    }
    PrefixSaver sys("nameless.scr", SystemDir(), "NKTSYS.SCR");
    std::vector<std::string> names = SaverFilesIn(dir_.saverbox());
    ASSERT_EQ((size_t)FILE_COUNT, names.size());

    BoxResponder boxes;
    MainWindow window;
    RecordProperty("setup_and_build_ms", (int)(GetTickCount() - start));
    ASSERT_EQ(MAX_SAVERS, appState.saverCount);
    EXPECT_EQ(899, MAX_SAVERS);

    std::vector<MenuRow> rows = RowsOf(SaverSubmenu());
    ASSERT_EQ((size_t)MAX_SAVERS + 3, rows.size());
    EXPECT_EQ((UINT)IDM_SAVER_LAST, rows.front().id);
    EXPECT_EQ(names[MAX_SAVERS - 1].substr(0, 4), rows.front().text);
    EXPECT_EQ((UINT)IDM_SAVER_FIRST, rows[MAX_SAVERS - 1].id);
    EXPECT_EQ(names[0].substr(0, 4), rows[MAX_SAVERS - 1].text);
    EXPECT_EQ(1, std::count_if(rows.begin(), rows.end(),
                               [](const MenuRow& row) { return row.id == IDM_SAVER_SETUP; }));
    EXPECT_EQ(SETUP_LABEL, LabelOfItem(IDM_SAVER_SETUP));

    // The ring holds exactly the first 899 files in discovery order.
    SeekSaver(0);
    SaverEntry* entry = appState.cursor->next;
    for (int i = 0; i < MAX_SAVERS; ++i, entry = entry->next)
        ASSERT_EQ(names[i], entry->longName) << i;
    EXPECT_EQ(0, entry->index);
}

TEST_F(CatalogueTest, FileWhosePathWouldPassTwoHundredFiftyNineCharactersIsSkipped)
{
    // The current directory is made deep enough that saverbox\<name> reaches
    // 259 characters for a 9-character name and 260 for a 10-character one,
    // while saverbox itself still fits.
    const std::string fits = "FITS1.SCR";     // 259: listed
    const std::string over = "OVER12.SCR";    // 260: skipped
    const size_t depth = MAX_PATH_CHARS - fits.size() - 1 - lstrlenA("saverbox") - 1;
    std::string deep = MakeDirOfLength(dir_.path(), depth);
    ASSERT_EQ(depth, deep.size());
    ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
    const std::string box = JoinPath(deep, "saverbox");
    ASSERT_TRUE(CreateDirectoryA(box.c_str(), NULL));
    // The 260-character file can only be made and removed by a relative path.
    struct RemoveOver {
        std::string dir, name;
        ~RemoveOver()
        {
            char previous[MAX_PATH];
            GetCurrentDirectoryA(MAX_PATH, previous);
            SetCurrentDirectoryA(dir.c_str());
            DeleteFileA(name.c_str());
            SetCurrentDirectoryA(previous);
        }
    } removeOver{ deep, "saverbox\\" + over };
    ASSERT_TRUE(CopyFileA(SaverFile("logsaver.scr").c_str(), removeOver.name.c_str(), FALSE));
    InstallSaver("logsaver.scr", box, fits);
    ASSERT_EQ(2u, SaverFilesIn(box).size());

    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(1, appState.saverCount);
    std::string path = PathOfIndex(1);
    EXPECT_EQ(JoinPath(box, fits), path);
    EXPECT_EQ(MAX_PATH_CHARS, path.size());
    EXPECT_EQ(LOGGER_LABEL, LabelOfItem(IDM_SAVER_BASE + 1));   // loaded by its full path
    EXPECT_EQ(path, ReadScrnsave());
}

TEST_F(CatalogueTest, SeekReachesTheHeadAndStopsAfterOneTurnForAnUnknownIndex)
{
    for (const char* name : { "A.SCR", "B.SCR", "C.SCR" })
        InstallSaver("nameless.scr", dir_.saverbox(), name);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(3, appState.saverCount);

    SeekSaver(0);
    EXPECT_EQ(0, appState.cursor->index);
    EXPECT_STREQ("", appState.cursor->directory);
    EXPECT_STREQ("", appState.cursor->longName);
    EXPECT_STREQ("", appState.cursor->shortName);

    for (int start : { 0, 2, 3 }) {
        for (int absent : { 4, -1, IDM_SAVER_BASE }) {
            SeekSaver(start);
            SaverEntry* before = appState.cursor;
            SeekSaver(absent);   // must return at all
            EXPECT_EQ(before, appState.cursor) << start << " " << absent;
        }
    }
    // Forward only: from 3 the walk to 1 passes the head.
    SeekSaver(3);
    EXPECT_EQ(0, appState.cursor->next->index);
    SeekSaver(1);
    EXPECT_EQ(1, appState.cursor->index);
}

}  // namespace
