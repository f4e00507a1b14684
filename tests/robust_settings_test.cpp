// NAPKIT.INI, SYSTEM.INI and Control Panel\desktop as users leave them: the
// program goes on with defaults or held values and writes only where it can.
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "fixtures/robust_support.h"
#include "app/app.h"
#include "catalogue/catalogue.h"
#include "settings/settings.h"
#include "system/system.h"
#include "ui/ui.h"
#include "res/resource.h"

#include <cstdio>

using namespace harness;
using namespace robust;

namespace {

constexpr UINT START_SECONDS = 300;
constexpr DWORD BOX_TIMEOUT_MS = 5000;
constexpr size_t LONG_TEXT = 300;
constexpr size_t MAX_PATH_CHARS = MAX_PATH - 1;   // 259
constexpr char MY_SAVER[] = "My Saver.scr";       // has a hashed 8.3 alias
constexpr char PLAIN_SAVER[] = "PLAIN.SCR";       // is its own 8.3 name
constexpr char READ_ONLY_UNIX_DIR[] = "Z:\\sys\\kernel";   // sysfs: nobody may create files

const char* const INTEGER_KEYS[][2] = {
    { "Action", "AppMode" },
    { "Action", "IconDubbleClick" },
    { "Action", "ScreenSaveCommandWait" },
    { "Action", "ScreenSaver_RandomSet" },
    { "Action", "UseSaverName" },
    { "Message", "OpenMessageBox" },
    { "HotKeys", "EnableHotKeys" },
    { "HotKeys", "CombinationKeys" },
};
const char* const TEXT_KEYS[][2] = {
    { "Action", "SaverBox" },
    { "HotKeys", "Key_Start" },
    { "HotKeys", "Key_Switch" },
    { "HotKeys", "Key_RndRun" },
    { "HotKeys", "Key_RndCH" },
};

// A path of exactly length characters that names nothing.
std::string MissingPathOfLength(size_t length)
{
    std::string path = "C:\\napkit-tests\\missing\\";
    const std::string tail = ".SCR";
    path += std::string(length - path.size() - tail.size(), 'x');
    return path + tail;
}

int PlatformInt(const std::string& ini, const char* section, const char* key, int fallback)
{
    return (int)GetPrivateProfileIntA(section, key, fallback, ini.c_str());
}

void DoubleClickTrayIcon(HWND window)
{
    SendMessageA(window, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONDBLCLK);
}

std::vector<std::string> Lines(const std::string& bytes)
{
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < bytes.size(); start = end + 1) {
        end = std::min(bytes.find('\n', start), bytes.size());
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Lines equal to text, or starting with text, ignoring letter case.
int CountLines(const std::string& bytes, const std::string& text, bool prefix)
{
    int count = 0;
    for (const std::string& line : Lines(bytes)) {
        std::string head = prefix ? line.substr(0, text.size()) : line;
        if (lstrcmpiA(head.c_str(), text.c_str()) == 0)
            ++count;
    }
    return count;
}

// MY_SAVER has a hashed alias, PLAIN_SAVER is its own 8.3 name.
struct TwoSavers {
    explicit TwoSavers(const ScratchDir& dir)
        : myLong(InstallSaver("logsaver.scr", dir.saverbox(), MY_SAVER)),
          myAlias(JoinPath(dir.saverbox(), ShortNameOf(myLong))),
          plain(InstallSaver("nameless.scr", dir.saverbox(), PLAIN_SAVER)) {}
    std::string myLong;
    std::string myAlias;
    std::string plain;
};

// Scratch dir, restored system state and two savers, PLAIN_SAVER configured.
template <class Param>
class WithTwoSavers : public ::testing::TestWithParam<Param> {
protected:
    WithTwoSavers() { WriteScrnsave(savers.plain); }
    SystemGuard guard;
    ScratchDir dir;
    TwoSavers savers{ dir };
};

// ===================================================== NAPKIT.INI values

struct MalformedCase {
    const char* name;
    const char* text;
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

using MalformedSettings = WithTwoSavers<MalformedCase>;

// Malformed integers and 300-character texts: the program runs in tray mode
// with what the platform reads, and a menu choice writes only its own key.
TEST_P(MalformedSettings, RunWithWhatThePlatformReads)
{
    SetSpiActive(1);
    SetSpiTimeout(START_SECONDS);
    for (const auto& key : INTEGER_KEYS)
        WriteIni(dir.ini(), key[0], key[1], GetParam().text);
    for (const auto& key : TEXT_KEYS)
        WriteIni(dir.ini(), key[0], key[1], std::string(LONG_TEXT, 'Q'));
    const int dblClick = PlatformInt(dir.ini(), "Action", "IconDubbleClick", 1);
    const int messages = PlatformInt(dir.ini(), "Message", "OpenMessageBox", 3);

    BoxResponder boxes;
    MainWindow window;
    ASSERT_TRUE(IsWindow(window));
    EXPECT_NE(ONE_SHOT_MODE, ReadAppMode());
    EXPECT_EQ(2, appState.saverCount);
    EXPECT_LE(appState.commandWaitMs, MAX_COMMAND_WAIT_MS);
    EXPECT_TRUE(ChecksMatchState());
    bool startAction = dblClick == 0;
    EXPECT_EQ(startAction, MenuChecked(IDM_DBLCLICK_START));
    EXPECT_EQ(dblClick == 1, MenuChecked(IDM_DBLCLICK_TOGGLE));

    // The double-click does what its item says, in bounded time.
    DWORD start = GetTickCount();
    DoubleClickTrayIcon(window);
    EXPECT_LT(GetTickCount() - start, BOX_TIMEOUT_MS);
    size_t toggleBoxes = 0;
    if (startAction) {
        EXPECT_EQ(1u, SpiActive());
    } else {
        EXPECT_EQ(0u, SpiActive());
        toggleBoxes = (messages & MESSAGE_ON_STATE) ? 1 : 0;
    }
    PumpMessages(SETTLE_MS);
    EXPECT_EQ(toggleBoxes, boxes.Count()) << BoxTexts(boxes);

    const std::string before = ReadFileBytes(dir.ini());
    std::vector<std::string> values;
    for (const auto& key : INTEGER_KEYS)
        values.push_back(ReadIni(dir.ini(), key[0], key[1]));
    UINT other = startAction ? IDM_DBLCLICK_TOGGLE : IDM_DBLCLICK_START;
    SendCommand(window, other);
    EXPECT_EQ(other == IDM_DBLCLICK_START ? "0" : "1", ReadIni(dir.ini(), "Action", "IconDubbleClick"));
    for (size_t i = 0; i < values.size(); ++i) {
        if (lstrcmpA(INTEGER_KEYS[i][1], "IconDubbleClick") != 0)
            EXPECT_EQ(values[i], ReadIni(dir.ini(), INTEGER_KEYS[i][0], INTEGER_KEYS[i][1]))
                << INTEGER_KEYS[i][1];
    }
    EXPECT_EQ(Lines(before).size(), Lines(ReadFileBytes(dir.ini())).size());
    EXPECT_TRUE(ChecksMatchState());
}

INSTANTIATE_TEST_SUITE_P(Values, MalformedSettings, ::testing::Values(
    MalformedCase{ "NotANumber", "abc" },
    MalformedCase{ "TooLarge", "99999999999" },
    MalformedCase{ "Negative", "-7" },
    MalformedCase{ "TrailingText", "12abc" },
    MalformedCase{ "OnlyBlanks", "   " }),
    [](const ::testing::TestParamInfo<MalformedCase>& info) { return std::string(info.param.name); });

// Eleven digits wrap in the platform's parse to weeks: cut to a minute.
TEST(MalformedWait, IsCutToAMinute)
{
    ScratchDir dir;
    for (const char* text : { "99999999999", "2147483647", "60001" }) {
        WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", text);
        ZeroMemory(&appState, sizeof appState);
        InitPaths();
        LoadCommandWait(&appState.commandWaitMs);
        EXPECT_EQ(MAX_COMMAND_WAIT_MS, appState.commandWaitMs) << text;
        EXPECT_EQ((DWORD)MAX_COMMAND_WAIT_MS, CommandWaitMs()) << text;
    }
    WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", "60000");
    LoadCommandWait(&appState.commandWaitMs);
    EXPECT_EQ(60000, appState.commandWaitMs);
}

struct DblClickCase {
    const char* value;
    UINT collidesWith;   // the item 40100 + value would be, 0: none
};

void PrintTo(const DblClickCase& c, std::ostream* os) { *os << c.value; }

using UnknownDblClickAction = WithTwoSavers<DblClickCase>;

// Unknown values check no item and toggle; other groups keep their checks
// even when 40100 + value is one of their ids.
TEST_P(UnknownDblClickAction, TogglesAndLeavesTheOtherGroupsAlone)
{
    SetSpiActive(0);   // the ON item is not checked: a stray check on it shows
    SetSpiTimeout(START_SECONDS);
    WriteIni(dir.ini(), "Action", "IconDubbleClick", GetParam().value);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(2, appState.saverCount);
    EXPECT_FALSE(MenuChecked(IDM_DBLCLICK_START));
    EXPECT_FALSE(MenuChecked(IDM_DBLCLICK_TOGGLE));
    EXPECT_TRUE(ChecksMatchState());
    if (GetParam().collidesWith)
        EXPECT_FALSE(MenuChecked(GetParam().collidesWith));

    DoubleClickTrayIcon(window);
    EXPECT_EQ(1u, SpiActive());
    ASSERT_EQ(1u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_EQ(TOGGLED_ON_TEXT, boxes.Boxes()[0].text);
    EXPECT_TRUE(ChecksMatchState());

    SendCommand(window, IDM_DBLCLICK_START);
    EXPECT_TRUE(MenuChecked(IDM_DBLCLICK_START));
    EXPECT_EQ("0", ReadIni(dir.ini(), "Action", "IconDubbleClick"));
    EXPECT_TRUE(ChecksMatchState());
    SendCommand(window, IDM_DBLCLICK_TOGGLE);
    EXPECT_EQ("1", ReadIni(dir.ini(), "Action", "IconDubbleClick"));
    EXPECT_TRUE(ChecksMatchState());
    EXPECT_EQ(1u, boxes.Count()) << BoxTexts(boxes);
}

INSTANTIATE_TEST_SUITE_P(Values, UnknownDblClickAction, ::testing::Values(
    DblClickCase{ "2", 0 }, DblClickCase{ "5", 0 },
    DblClickCase{ "100", IDM_TIMEOUT_CUSTOM }, DblClickCase{ "110", IDM_TIMEOUT_10 },
    DblClickCase{ "201", IDM_STATE_ON }, DblClickCase{ "901", IDM_SAVER_FIRST },
    DblClickCase{ "1900", IDM_START_NORMAL }, DblClickCase{ "-1", 0 }),
    [](const ::testing::TestParamInfo<DblClickCase>& info) {
        std::string name = info.param.value;
        return name[0] == '-' ? "Minus" + name.substr(1) : name;
    });

// Names in other case are read, and written in place, not added twice.
TEST(SettingsLetterCase, NamesInOtherCaseAreReadAndRewrittenInPlace)
{
    SystemGuard guard;
    ScratchDir dir;
    TwoSavers savers(dir);
    WriteScrnsave(savers.plain);
    WriteFileBytes(dir.ini(),
                   "[action]\r\nappmode=0\r\nICONDUBBLECLICK=0\r\nscreensavecommandwait=250\r\n"
                   "useSAVERname=0\r\n[MESSAGE]\r\nopenmessagebox=0\r\n");
    BoxResponder boxes;
    MainWindow window;
    EXPECT_EQ((UINT)IDM_DBLCLICK_START, appState.dblClickItem);
    EXPECT_EQ(250, appState.commandWaitMs);
    EXPECT_EQ(0, appState.useSaverName);
    EXPECT_EQ(0u, appState.messageFlags);
    EXPECT_EQ(PLAIN_SAVER, MenuLabel(IDM_SAVER_BASE + IndexOfSaver(PLAIN_SAVER)) + ".SCR");

    SendCommand(window, IDM_DBLCLICK_TOGGLE);
    SendCommand(window, IDM_WAIT_SETTING);   // answered with OK: writes 250 back
    std::string after = ReadFileBytes(dir.ini());
    EXPECT_EQ(1, CountLines(after, "[action]", false)) << after;
    EXPECT_EQ(1, CountLines(after, "icondubbleclick=", true)) << after;
    EXPECT_EQ(1, CountLines(after, "screensavecommandwait=", true)) << after;
    EXPECT_EQ("1", ReadIni(dir.ini(), "Action", "IconDubbleClick"));
    EXPECT_EQ("250", ReadIni(dir.ini(), "Action", "ScreenSaveCommandWait"));
    EXPECT_EQ("0", ReadIni(dir.ini(), "Message", "OpenMessageBox"));
    EXPECT_EQ(1u, boxes.Count()) << BoxTexts(boxes);   // the wait dialog
}

TEST(SettingsLetterCase, OneShotModeInOtherCase)
{
    ScratchDir dir;
    WriteFileBytes(dir.ini(), "[ACTION]\r\nAPPMODE=1\r\n");
    ZeroMemory(&appState, sizeof appState);
    EXPECT_EQ(ONE_SHOT_MODE, ReadAppMode());
}

// ================================================== other encodings

constexpr char ENCODED_SETTINGS[] =
    "[Action]\r\nIconDubbleClick=0\r\nScreenSaveCommandWait=250\r\nUseSaverName=0\r\n"
    "[Message]\r\nOpenMessageBox=0\r\n";
constexpr char JAPANESE_COMMENTED_SETTINGS[] =
    "; NAPKIT の設定ファイル（表示・ソフト）\r\n[Action]\r\n"
    "; ダブルクリック時の動作\r\nIconDubbleClick=0\r\n"
    "; 直接起動時の待ち時間（ミリ秒）\r\nScreenSaveCommandWait=250\r\nUseSaverName=0\r\n"
    "[Message]\r\n; メッセージボックスの表示\r\nOpenMessageBox=0\r\n";

enum class Encoding { Utf16LeBom, Utf16BeBom, Utf8Bom, ShiftJisWithComments };

std::string Encode(Encoding encoding)
{
    const std::string text = ENCODED_SETTINGS;
    std::string bytes;
    switch (encoding) {
    case Encoding::Utf16LeBom:
        bytes = "\xFF\xFE";
        for (char c : text)
            bytes += std::string(1, c) + '\0';
        break;
    case Encoding::Utf16BeBom:
        bytes = "\xFE\xFF";
        for (char c : text)
            bytes += std::string(1, '\0') + c;
        break;
    case Encoding::Utf8Bom:
        bytes = "\xEF\xBB\xBF" + text;
        break;
    case Encoding::ShiftJisWithComments:
        bytes = JAPANESE_COMMENTED_SETTINGS;
        break;
    }
    return bytes;
}

struct EncodingCase {
    const char* name;
    Encoding encoding;
};

void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.name; }

using SettingsEncoding = WithTwoSavers<EncodingCase>;

// Each value is the file's or the default; a write keeps the encoding, the
// other keys and (Shift-JIS) the Japanese comments.
TEST_P(SettingsEncoding, ValuesOrDefaultsAndNothingLost)
{
    const std::string bytes = Encode(GetParam().encoding);
    WriteFileBytes(dir.ini(), bytes);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_TRUE(IsWindow(window));
    EXPECT_TRUE(appState.dblClickItem == IDM_DBLCLICK_START
                || appState.dblClickItem == IDM_DBLCLICK_TOGGLE);
    EXPECT_TRUE(appState.commandWaitMs == 250 || appState.commandWaitMs == DEFAULT_COMMAND_WAIT_MS);
    EXPECT_TRUE(appState.useSaverName == 0 || appState.useSaverName == DEFAULT_USE_SAVER_NAME);
    EXPECT_TRUE(appState.messageFlags == 0 || appState.messageFlags == DEFAULT_MESSAGE_FLAGS);
    EXPECT_TRUE(ChecksMatchState());
    const std::string waitBefore = ReadIni(dir.ini(), "Action", "ScreenSaveCommandWait");
    const std::string nameBefore = ReadIni(dir.ini(), "Action", "UseSaverName");
    const std::string messageBefore = ReadIni(dir.ini(), "Message", "OpenMessageBox");

    UINT other = appState.dblClickItem == IDM_DBLCLICK_START ? IDM_DBLCLICK_TOGGLE
                                                             : IDM_DBLCLICK_START;
    SendCommand(window, other);
    const std::string after = ReadFileBytes(dir.ini());
    EXPECT_EQ(bytes.substr(0, 2), after.substr(0, 2)) << "encoding changed";
    EXPECT_EQ(other == IDM_DBLCLICK_START ? "0" : "1", ReadIni(dir.ini(), "Action", "IconDubbleClick"));
    EXPECT_EQ(waitBefore, ReadIni(dir.ini(), "Action", "ScreenSaveCommandWait"));
    EXPECT_EQ(nameBefore, ReadIni(dir.ini(), "Action", "UseSaverName"));
    EXPECT_EQ(messageBefore, ReadIni(dir.ini(), "Message", "OpenMessageBox"));
    if (GetParam().encoding == Encoding::ShiftJisWithComments) {
        for (const std::string& line : Lines(bytes)) {
            if (!line.empty() && line[0] == ';')
                EXPECT_NE(std::string::npos, after.find(line)) << line;
        }
    }
    EXPECT_EQ(0u, boxes.Count()) << BoxTexts(boxes);
}

INSTANTIATE_TEST_SUITE_P(Files, SettingsEncoding, ::testing::Values(
    EncodingCase{ "Utf16LeBom", Encoding::Utf16LeBom },
    EncodingCase{ "Utf16BeBom", Encoding::Utf16BeBom },
    EncodingCase{ "Utf8Bom", Encoding::Utf8Bom },
    EncodingCase{ "ShiftJisWithComments", Encoding::ShiftJisWithComments }),
    [](const ::testing::TestParamInfo<EncodingCase>& info) { return std::string(info.param.name); });

// ================================================ nothing can be written

// Wine as root ignores the read-only attribute, so the file is also held
// open without write sharing.
class UnwritableFile {
public:
    explicit UnwritableFile(const std::string& path) : path_(path)
    {
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_READONLY);
        handle_ = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              0, NULL);
    }
    ~UnwritableFile()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
private:
    std::string path_;
    HANDLE handle_;
};

// Writes fail silently; the values in memory rule; the file keeps its bytes.
TEST(UnwritableSettings, ReadOnlyFileKeepsItsBytes)
{
    SystemGuard guard;
    ScratchDir dir;
    TwoSavers savers(dir);
    WriteScrnsave(savers.plain);
    SetSpiActive(1);
    WriteFileBytes(dir.ini(), "[Action]\r\nIconDubbleClick=0\r\nScreenSaveCommandWait=250\r\n"
                              "[Message]\r\nOpenMessageBox=1\r\n");
    const std::string bytes = ReadFileBytes(dir.ini());
    UnwritableFile lock(dir.ini());
    ASSERT_TRUE(lock.held());
    BoxResponder boxes;
    boxes.SetHandler([](const BoxRecord& box) {
        if (GetDlgItem(box.window, IDC_SETTINGS_OK) == NULL)
            return false;
        SetCheckBox(box.window, IDC_MSG_ON_CHANGE, true);
        PressButton(box.window, IDC_SETTINGS_OK);
        return true;
    });
    {
        MainWindow window;
        ASSERT_EQ((UINT)IDM_DBLCLICK_START, appState.dblClickItem);
        SendCommand(window, IDM_DBLCLICK_TOGGLE);
        EXPECT_EQ((UINT)IDM_DBLCLICK_TOGGLE, appState.dblClickItem);
        EXPECT_TRUE(MenuChecked(IDM_DBLCLICK_TOGGLE));
        // The double-click follows the value in memory: a toggle, with its box.
        DoubleClickTrayIcon(window);
        EXPECT_EQ(0u, SpiActive());
        SendCommand(window, IDM_WAIT_SETTING);
        EXPECT_EQ(250, appState.commandWaitMs);
        SendCommand(window, IDM_SETTINGS);
        EXPECT_EQ(MESSAGE_ON_STATE | MESSAGE_ON_CHANGE, appState.messageFlags);
        EXPECT_TRUE(ChecksMatchState());
    }
    EXPECT_EQ(bytes, ReadFileBytes(dir.ini()));
    // The toggle's message, the wait dialog, the settings dialog: nothing else.
    ASSERT_EQ(3u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_EQ(TOGGLED_OFF_TEXT, boxes.Boxes()[0].text);
}

// Nothing can be created here: defaults, changes kept in memory.
TEST(UnwritableSettings, ReadOnlyCurrentDirectory)
{
    SystemGuard guard;
    ScratchDir dir;
    WindowsDirSaver saver("logsaver.scr");
    WriteScrnsave(saver.path());
    const std::string ini = JoinPath(READ_ONLY_UNIX_DIR, "NAPKIT.INI");
    if (!SetCurrentDirectoryA(READ_ONLY_UNIX_DIR) || FileExists(ini)
        || WritePrivateProfileStringA("Action", "Probe", "1", ini.c_str()))
        GTEST_SKIP() << READ_ONLY_UNIX_DIR << " is not a read-only folder here";
    BoxResponder boxes;
    {
        MainWindow window;
        ASSERT_TRUE(IsWindow(window));
        EXPECT_EQ((UINT)IDM_DBLCLICK_TOGGLE, appState.dblClickItem);
        EXPECT_EQ(DEFAULT_COMMAND_WAIT_MS, appState.commandWaitMs);
        EXPECT_EQ(DEFAULT_MESSAGE_FLAGS, (int)appState.messageFlags);
        EXPECT_EQ(1, appState.saverCount);
        SendCommand(window, IDM_DBLCLICK_START);
        EXPECT_EQ((UINT)IDM_DBLCLICK_START, appState.dblClickItem);
        EXPECT_TRUE(ChecksMatchState());
        SendCommand(window, IDM_REFRESH);
        EXPECT_EQ(1, appState.saverCount);
    }
    SetCurrentDirectoryA(dir.path().c_str());
    EXPECT_FALSE(FileExists(ini));
    EXPECT_FALSE(FileExists(JoinPath(READ_ONLY_UNIX_DIR, "saverbox")));
    EXPECT_EQ(saver.path(), ReadScrnsave());
    EXPECT_EQ(0u, boxes.Count()) << BoxTexts(boxes);
}

struct DeepDirCase {
    size_t length;        // of the current directory
    bool settingsFile;    // "\NAPKIT.INI" still fits in 259 characters
    bool saverFolder;     // "\saverbox" still fits
};

void PrintTo(const DeepDirCase& c, std::ostream* os) { *os << c.length; }

class DeepCurrentDirectory : public ::testing::TestWithParam<DeepDirCase> {};

// What no longer fits in 259 characters is neither read nor written, not
// even under a cut name; the rest works.
TEST_P(DeepCurrentDirectory, WhatDoesNotFitIsLeftAlone)
{
    SystemGuard guard;
    ScratchDir base("deep");
    WindowsDirSaver saver("logsaver.scr");
    WriteScrnsave(saver.path());
    std::string deep = MakeDirOfLength(base.path(), GetParam().length);
    ASSERT_EQ(GetParam().length, deep.size());
    std::string ini = JoinPath(deep, "NAPKIT.INI");
    if (GetParam().settingsFile)
        WriteIni(ini, "Message", "OpenMessageBox", "0");
    ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
    BoxResponder boxes;
    {
        MainWindow window;
        ASSERT_TRUE(IsWindow(window));
        EXPECT_EQ(GetParam().settingsFile, appState.iniPath[0] != '\0');
        EXPECT_EQ(GetParam().settingsFile ? 0u : (UINT)DEFAULT_MESSAGE_FLAGS, appState.messageFlags);
        EXPECT_EQ(1, appState.saverCount);
        SendCommand(window, IDM_DBLCLICK_START);
        EXPECT_EQ((UINT)IDM_DBLCLICK_START, appState.dblClickItem);
        SendCommand(window, IDM_SAVER_FIRST);
        EXPECT_TRUE(ChecksMatchState());
    }
    SetCurrentDirectoryA(base.path().c_str());
    EXPECT_EQ(GetParam().settingsFile, FileExists(ini));
    if (GetParam().settingsFile)
        EXPECT_EQ("0", ReadIni(ini, "Action", "IconDubbleClick"));
    EXPECT_EQ(GetParam().saverFolder, FileExists(JoinPath(deep, "saverbox")));
    // Nothing in the folders above, where a cut name would have landed.
    for (std::string dir = deep; dir.size() > base.path().size();
         dir = dir.substr(0, dir.find_last_of('\\')))
        EXPECT_FALSE(FileExists(JoinPath(dir.substr(0, dir.find_last_of('\\')), "NAPKIT.INI")));
    EXPECT_EQ(saver.path(), ReadScrnsave());
    EXPECT_EQ(0u, boxes.Count()) << BoxTexts(boxes);
}

INSTANTIATE_TEST_SUITE_P(Lengths, DeepCurrentDirectory, ::testing::Values(
    DeepDirCase{ 248, true, true }, DeepDirCase{ 249, false, true },
    DeepDirCase{ 250, false, true }, DeepDirCase{ 251, false, false },
    DeepDirCase{ 259, false, false }),
    [](const ::testing::TestParamInfo<DeepDirCase>& info) {
        return "Length" + std::to_string(info.param.length);
    });

// ===================================================== SYSTEM.INI

constexpr char OTHER_SECTIONS[] = "[drivers]\r\nwave=mmdrv.dll\r\n[386Enh]\r\nwoafont=dosapp.fon\r\n";

enum class IniState {
    Missing, NoBootSection, EmptyValue, Length259, Length300, MissingFile, Alias,
    AliasOtherCase, LongName,
};

struct SystemIniCase {
    const char* name;
    IniState state;
    size_t boxesAtStart;      // unknown-saver messages
    size_t boxesWhilePolling;
    bool configuresMySaver;   // else any listed saver
};

void PrintTo(const SystemIniCase& c, std::ostream* os) { *os << c.name; }

// Writes SYSTEM.INI in the given state; [boot] keeps a key of its own.
void WriteSystemIni(IniState state, const TwoSavers& savers)
{
    std::string value;
    switch (state) {
    case IniState::Missing:
        DeleteFileA(SystemIniPath().c_str());
        WritePrivateProfileStringA(NULL, NULL, NULL, SystemIniPath().c_str());
        return;
    case IniState::NoBootSection:
        WriteFileBytes(SystemIniPath(), OTHER_SECTIONS);
        return;
    case IniState::EmptyValue:
        value = "";
        break;
    case IniState::Length259:
        value = MissingPathOfLength(MAX_PATH_CHARS);
        break;
    case IniState::Length300:
        value = MissingPathOfLength(LONG_TEXT);
        break;
    case IniState::MissingFile:
        value = "C:\\napkit-tests\\gone\\GONE.SCR";
        break;
    case IniState::Alias:
        value = savers.myAlias;
        break;
    case IniState::AliasOtherCase:
        value = savers.myAlias;
        CharLowerA(&value[0]);
        break;
    case IniState::LongName:
        value = savers.myLong;
        break;
    }
    WriteFileBytes(SystemIniPath(), "[boot]\r\nshell=Explorer.exe\r\nSCRNSAVE.EXE=" + value + "\r\n"
                                    + OTHER_SECTIONS);
}

class SystemIniState
    : public ::testing::TestWithParam<std::tuple<SystemIniCase, bool>> {};

// At start or while polling: a listed saver (also its alias in other case)
// is matched silently, a missing key or file gives a random choice, anything
// else the unknown-saver message; SYSTEM.INI's other entries stay intact.
TEST_P(SystemIniState, EndsWithAListedSaverConfigured)
{
    const SystemIniCase& param = std::get<0>(GetParam());
    const bool polling = std::get<1>(GetParam());
    SystemGuard guard;
    ScratchDir dir;
    TwoSavers savers(dir);
    if (polling) {
        WriteSystemIni(IniState::Alias, savers);
        WriteScrnsave(savers.plain);
    } else {
        WriteSystemIni(param.state, savers);
    }
    BoxResponder boxes;
    MainWindow window;
    ASSERT_TRUE(IsWindow(window));
    ASSERT_EQ(2, appState.saverCount);
    if (polling) {
        ASSERT_EQ(0u, boxes.Count()) << BoxTexts(boxes);
        WriteSystemIni(param.state, savers);
    }
    size_t expected = polling ? param.boxesWhilePolling : param.boxesAtStart;
    PumpUntil([&] { return boxes.Count() >= expected && !appState.syncing; }, BOX_TIMEOUT_MS);
    PumpMessages(SETTLE_MS);

    ASSERT_EQ(expected, boxes.Count()) << BoxTexts(boxes);
    for (const BoxRecord& box : boxes.Boxes()) {
        EXPECT_EQ(UNKNOWN_SAVER_TEXT, box.text);
        EXPECT_TRUE(box.owner == NULL);
    }
    std::string configured = ReadScrnsave();
    EXPECT_EQ(configured, appState.currentSaver);
    if (param.configuresMySaver) {
        EXPECT_EQ(0, lstrcmpiA(savers.myAlias.c_str(), configured.c_str())) << configured;
        EXPECT_TRUE(MenuChecked(IDM_SAVER_BASE + IndexOfSaver(MY_SAVER)));
    } else {
        EXPECT_TRUE(IsCataloguePath(configured)) << configured;
    }
    EXPECT_TRUE(ChecksMatchState());
    if (param.state != IniState::Missing) {
        EXPECT_EQ("mmdrv.dll", ReadIni(SystemIniPath(), "drivers", "wave"));
        EXPECT_EQ("dosapp.fon", ReadIni(SystemIniPath(), "386Enh", "woafont"));
    }
}

INSTANTIATE_TEST_SUITE_P(States, SystemIniState, ::testing::Combine(::testing::Values(
    SystemIniCase{ "Missing", IniState::Missing, 0, 1, false },
    SystemIniCase{ "NoBootSection", IniState::NoBootSection, 0, 1, false },
    SystemIniCase{ "EmptyValue", IniState::EmptyValue, 1, 1, false },
    SystemIniCase{ "Length259", IniState::Length259, 1, 1, false },
    SystemIniCase{ "Length300", IniState::Length300, 1, 1, false },
    SystemIniCase{ "MissingFile", IniState::MissingFile, 1, 1, false },
    SystemIniCase{ "Alias", IniState::Alias, 0, 0, true },
    SystemIniCase{ "AliasOtherCase", IniState::AliasOtherCase, 0, 0, true },
    SystemIniCase{ "LongName", IniState::LongName, 1, 1, false }),
    ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<SystemIniCase, bool>>& info) {
        return std::string(std::get<0>(info.param).name)
               + (std::get<1>(info.param) ? "WhilePolling" : "AtStart");
    });

// A 259-character saver path is matched whole; longer is not cut down to it.
class LongestSaverPath : public ::testing::Test {
protected:
    void SetUp() override
    {
        // current directory + "\saverbox" + "\A.SCR" = 259 characters
        constexpr size_t DIR_LENGTH = MAX_PATH_CHARS - 9 - 6;
        deep_ = MakeDirOfLength(base_.path(), DIR_LENGTH);
        ASSERT_EQ(DIR_LENGTH, deep_.size());
        ASSERT_TRUE(SetCurrentDirectoryA(deep_.c_str()));
        saverA_ = InstallSaver("logsaver.scr", JoinPath(deep_, "saverbox"), "A.SCR");
        saverB_ = InstallSaver("logsaver.scr", JoinPath(deep_, "saverbox"), "B.SCR");
        ASSERT_EQ(MAX_PATH_CHARS, saverA_.size());
        log_ = base_.file("log.txt");
        SetSaverLog(log_);
    }
    void TearDown() override { SetCurrentDirectoryA(base_.path().c_str()); }

    SystemGuard guard_;
    ScratchDir base_{ "longest" };
    std::string deep_;
    std::string saverA_;
    std::string saverB_;
    std::string log_;
};

TEST_F(LongestSaverPath, MatchesWholeAndLongerIsUnknown)
{
    WriteScrnsave(saverA_);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(2, appState.saverCount);
    EXPECT_EQ(saverA_, appState.currentSaver);
    EXPECT_TRUE(MenuChecked(IDM_SAVER_BASE + IndexOfSaver("A.SCR")));
    PumpMessages(SETTLE_MS);
    EXPECT_EQ(0u, boxes.Count()) << BoxTexts(boxes);

    const std::string longer = saverA_ + std::string(LONG_TEXT - MAX_PATH_CHARS, 'x');
    WriteScrnsave(longer);
    PumpUntil([&] { return boxes.Count() >= 1 && !appState.syncing; }, BOX_TIMEOUT_MS);
    PumpMessages(SETTLE_MS);
    ASSERT_EQ(1u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_EQ(UNKNOWN_SAVER_TEXT, boxes.Boxes()[0].text);
    EXPECT_TRUE(IsCataloguePath(ReadScrnsave()));
    EXPECT_EQ(ReadScrnsave(), appState.currentSaver);
}

TEST_F(LongestSaverPath, LongerIsUnknownAtStart)
{
    WriteScrnsave(saverA_ + "x");
    BoxResponder boxes;
    MainWindow window;
    PumpUntil([&] { return boxes.Count() >= 1 && !appState.syncing; }, BOX_TIMEOUT_MS);
    ASSERT_EQ(1u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_EQ(UNKNOWN_SAVER_TEXT, boxes.Boxes()[0].text);
    EXPECT_TRUE(IsCataloguePath(ReadScrnsave()));
}

// One-shot: the longer path is unknown, so nothing runs and it toggles.
TEST_F(LongestSaverPath, OneShotDoesNotRunACutPath)
{
    WriteScrnsave(saverA_ + "x");
    std::string ini = JoinPath(deep_, "NAPKIT.INI");
    WriteIni(ini, "Action", "AppMode", "1");
    WriteIni(ini, "Action", "IconDubbleClick", "0");
    WriteIni(ini, "Action", "ScreenSaveCommandWait", "0");
    SetSpiActive(1);
    BoxResponder boxes;
    ZeroMemory(&appState, sizeof appState);
    ASSERT_EQ(ONE_SHOT_MODE, ReadAppMode());
    RunOneShot();
    PumpMessages(SETTLE_MS);
    EXPECT_TRUE(ReadLogLines(log_).empty());
    ASSERT_EQ(1u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_EQ(TOGGLED_OFF_TEXT, boxes.Boxes()[0].text);
}

// ============================================ Control Panel\desktop

constexpr char CONTROL_PANEL_KEY[] = "Control Panel";
constexpr char DESKTOP_NAME[] = "desktop";

struct RegValue {
    std::string name;
    DWORD type;
    std::string data;
    bool operator==(const RegValue& o) const
    {
        return name == o.name && type == o.type && data == o.data;
    }
};

struct RegTree {
    std::string name;
    std::vector<RegValue> values;
    std::vector<RegTree> subkeys;
    bool operator==(const RegTree& o) const
    {
        return name == o.name && values == o.values && subkeys == o.subkeys;
    }
};

bool ReadTree(HKEY parent, const std::string& name, RegTree& tree)
{
    HKEY key;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    tree.name = name;
    for (DWORD i = 0;; ++i) {
        char valueName[16384];
        DWORD nameSize = sizeof valueName;
        DWORD type = 0;
        DWORD dataSize = 0;
        if (RegEnumValueA(key, i, valueName, &nameSize, NULL, &type, NULL, &dataSize)
            != ERROR_SUCCESS)
            break;
        std::string data(dataSize, '\0');
        nameSize = sizeof valueName;
        RegEnumValueA(key, i, valueName, &nameSize, NULL, &type,
                      dataSize ? (BYTE*)&data[0] : NULL, &dataSize);
        tree.values.push_back({ valueName, type, data.substr(0, dataSize) });
    }
    for (DWORD i = 0;; ++i) {
        char subName[256];
        DWORD subSize = sizeof subName;
        if (RegEnumKeyExA(key, i, subName, &subSize, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        RegTree sub;
        if (ReadTree(key, subName, sub))
            tree.subkeys.push_back(sub);
    }
    RegCloseKey(key);
    return true;
}

void DeleteTree(HKEY parent, const std::string& name)
{
    HKEY key;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        for (;;) {
            char subName[256];
            DWORD subSize = sizeof subName;
            if (RegEnumKeyExA(key, 0, subName, &subSize, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            DeleteTree(key, subName);
        }
        RegCloseKey(key);
    }
    RegDeleteKeyA(parent, name.c_str());
}

void WriteTree(HKEY parent, const RegTree& tree)
{
    HKEY key;
    if (RegCreateKeyExA(parent, tree.name.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL)
        != ERROR_SUCCESS)
        return;
    for (const RegValue& value : tree.values)
        RegSetValueExA(key, value.name.c_str(), 0, value.type, (const BYTE*)value.data.data(),
                       (DWORD)value.data.size());
    for (const RegTree& sub : tree.subkeys)
        WriteTree(key, sub);
    RegCloseKey(key);
}

// Puts HKCU\Control Panel\desktop back exactly: values, subkeys, rights.
class DesktopKeyGuard {
public:
    DesktopKeyGuard()
    {
        RegOpenKeyExA(HKEY_CURRENT_USER, CONTROL_PANEL_KEY, 0, KEY_ALL_ACCESS, &panel_);
        // The key's own spelling, as the registry holds it.
        for (DWORD i = 0;; ++i) {
            char subName[256];
            DWORD subSize = sizeof subName;
            if (RegEnumKeyExA(panel_, i, subName, &subSize, NULL, NULL, NULL, NULL)
                != ERROR_SUCCESS)
                break;
            if (lstrcmpiA(subName, DESKTOP_NAME) == 0)
                name_ = subName;
        }
        present_ = ReadTree(panel_, name_, snapshot_);
        HKEY key;
        if (RegOpenKeyExA(panel_, name_.c_str(), 0, READ_CONTROL, &key) == ERROR_SUCCESS) {
            DWORD size = 0;
            RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, NULL, &size);
            security_.resize(size);
            if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, &security_[0], &size)
                != ERROR_SUCCESS)
                security_.clear();
            RegCloseKey(key);
        }
    }
    ~DesktopKeyGuard()
    {
        Restore();
        RegCloseKey(panel_);
    }
    bool present() const { return present_ && !security_.empty(); }
    const RegTree& snapshot() const { return snapshot_; }
    RegTree Current() const
    {
        RegTree tree;
        ReadTree(panel_, name_, tree);
        return tree;
    }
    bool Exists() const
    {
        HKEY key;
        if (RegOpenKeyExA(panel_, name_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    void DeleteKey() { DeleteTree(panel_, name_); }
    // Leaves everyone, the owner included, nothing but the right to read.
    bool DenyWrites()
    {
        SECURITY_DESCRIPTOR descriptor;
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        char aclBuffer[256];
        ACL* acl = (ACL*)aclBuffer;
        InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION);
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = NULL;
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
        AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone);
        SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
        // Opened before the rights go, to give them back.
        if (RegOpenKeyExA(panel_, name_.c_str(), 0, WRITE_DAC, &locked_) != ERROR_SUCCESS)
            locked_ = NULL;
        bool done = locked_ && SetSecurity(locked_, &descriptor);
        FreeSid(everyone);
        return done;
    }
    void Restore()
    {
        if (restored_ || !present())
            return;
        restored_ = true;
        if (locked_) {
            SetSecurity(locked_, &security_[0]);
            RegCloseKey(locked_);
            locked_ = NULL;
        }
        DeleteTree(panel_, name_);
        WriteTree(panel_, snapshot_);
        HKEY key;
        if (RegOpenKeyExA(panel_, name_.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
            SetSecurity(key, &security_[0]);
            RegCloseKey(key);
        }
    }
private:
    static bool SetSecurity(HKEY key, void* descriptor)
    {
        return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    }
    HKEY panel_ = NULL;
    HKEY locked_ = NULL;
    std::string name_ = DESKTOP_NAME;
    bool present_ = false;
    bool restored_ = false;
    RegTree snapshot_;
    std::vector<char> security_;
};

enum class KeyDamage { ValuesMissing, KeyMissing, KeyReadOnly };

struct DesktopKeyCase {
    const char* name;
    KeyDamage damage;
};

void PrintTo(const DesktopKeyCase& c, std::ostream* os) { *os << c.name; }

class DesktopKey : public ::testing::TestWithParam<DesktopKeyCase> {};

// Toggles and time-outs act through the system parameters; the registry gets
// only what can be written; the only boxes are the toggle's.
TEST_P(DesktopKey, ActionsGoOnThroughTheSystemParameters)
{
    DesktopKeyGuard key;
    ASSERT_TRUE(key.present());
    {
        SystemGuard guard;
        ScratchDir dir;
        TwoSavers savers(dir);
        WriteScrnsave(savers.plain);
        SetSpiActive(1);
        SetSpiTimeout(START_SECONDS);
        switch (GetParam().damage) {
        case KeyDamage::ValuesMissing:
            WriteDesktopValueText("ScreenSaveActive", ABSENT);
            WriteDesktopValueText("ScreenSaveTimeOut", ABSENT);
            break;
        case KeyDamage::KeyMissing:
            key.DeleteKey();
            ASSERT_FALSE(key.Exists());
            break;
        case KeyDamage::KeyReadOnly:
            ASSERT_TRUE(key.DenyWrites());
            HKEY probe;
            ASSERT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\desktop", 0,
                                                   KEY_ALL_ACCESS, &probe));
            break;
        }
        const RegTree before = key.Current();
        BoxResponder boxes;
        {
            MainWindow window;
            SendCommand(window, IDM_STATE_OFF);
            EXPECT_EQ(0u, SpiActive());
            EXPECT_EQ(0u, appState.screenSaveActive);
            SendCommand(window, IDM_TIMEOUT_10);
            EXPECT_EQ(600u, SpiTimeout());
            SendCommand(window, IDM_STATE_ON);
            EXPECT_EQ(1u, SpiActive());
            PumpMessages(SETTLE_MS);
            EXPECT_EQ((UINT)IDM_STATE_ON, appState.stateItem);
            EXPECT_EQ((UINT)IDM_TIMEOUT_10, appState.timeoutItem);
            EXPECT_EQ(std::string("NAPKIT - ScreenSaver[ ON ] -> [10分]"), TipText());
            EXPECT_TRUE(ChecksMatchState());
        }
        ASSERT_EQ(2u, boxes.Count()) << BoxTexts(boxes);
        EXPECT_EQ(TOGGLED_OFF_TEXT, boxes.Boxes()[0].text);
        EXPECT_EQ(TOGGLED_ON_TEXT, boxes.Boxes()[1].text);
        switch (GetParam().damage) {
        case KeyDamage::ValuesMissing:
            EXPECT_EQ("1", ReadDesktopValue("ScreenSaveActive"));
            EXPECT_EQ("600", ReadDesktopValue("ScreenSaveTimeOut"));
            break;
        case KeyDamage::KeyMissing:
            EXPECT_FALSE(key.Exists());
            break;
        case KeyDamage::KeyReadOnly:
            EXPECT_TRUE(before == key.Current());
            break;
        }
    }
    key.Restore();
    EXPECT_TRUE(key.snapshot() == key.Current());
}

INSTANTIATE_TEST_SUITE_P(Damage, DesktopKey, ::testing::Values(
    DesktopKeyCase{ "ValuesMissing", KeyDamage::ValuesMissing },
    DesktopKeyCase{ "KeyMissing", KeyDamage::KeyMissing },
    DesktopKeyCase{ "KeyReadOnly", KeyDamage::KeyReadOnly }),
    [](const ::testing::TestParamInfo<DesktopKeyCase>& info) { return std::string(info.param.name); });

}  // namespace
