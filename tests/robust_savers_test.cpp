// Saver files as folders really hold them: the program lists what it can,
// never crashes, and speaks only where its own messages say so.
#include <gtest/gtest.h>
#include "harness/harness.h"
#include "fixtures/robust_support.h"
#include "fixtures/saver_images.h"
#include "app/app.h"
#include "catalogue/catalogue.h"
#include "res/resource.h"

using namespace harness;
using namespace robust;

namespace {

constexpr size_t LABEL_LIMIT = LABEL_SIZE - 1;   // 63 bytes of text
constexpr char GOOD_SAVER[] = "GOOD.SCR";
constexpr DWORD SAVER_RUN_TIMEOUT_MS = 10000;
constexpr DWORD NOISE_SIZE = 4096;
constexpr uint32_t NOISE_SEED = 20240601;
constexpr int TOO_MANY_SAVERS = MAX_SAVERS + 1;   // 900
constexpr int FIXED_ITEMS_BELOW_SAVERS = 3;       // separator, 設定, ランダムチェンジ
constexpr char JAPANESE_SAVER[] = "テスト セーバー.scr";
constexpr char JAPANESE_STEM[] = "テスト セーバー";

std::string Repeat(const std::string& text, size_t times)
{
    std::string all;
    while (times--)
        all += text;
    return all;
}

void MakeFolderFile(const std::string& path, const std::string& bytes)
{
    CreateDirectoryA(path.substr(0, path.find_last_of('\\')).c_str(), NULL);
    WriteFileBytes(path, bytes);
}

// An MZ header whose PE offset points far outside the file.
std::string MzPointingNowhere()
{
    std::string image = fixtures::PeWithoutResources();
    fixtures::Put32(image, 0x3C, 0x7FFFFFF0);
    return image;
}

// A saver cut off after its headers: the resource section is gone.
std::string ResourcesCutOff()
{
    return fixtures::PeWithDisplayName("cut").substr(0, fixtures::FILE_ALIGNMENT);
}

// A string table whose data entry points outside the image.
std::string NameOutsideImage()
{
    std::string image = fixtures::PeWithDisplayName("far");
    constexpr DWORD DATA_ENTRY_IN_FILE = fixtures::FILE_ALIGNMENT + 72;
    fixtures::Put32(image, DATA_ENTRY_IN_FILE, 0x00F00000);
    return image;
}

// Restored system state and a fresh current directory for every test.
template <class Base>
class InScratchDir : public Base {
protected:
    SystemGuard guard;
    ScratchDir dir;
};
using DamagedStringTable = InScratchDir<::testing::Test>;
using SaverNames = InScratchDir<::testing::Test>;
using ManySavers = InScratchDir<::testing::Test>;
using OddEntries = InScratchDir<::testing::Test>;

struct BadFileCase {
    std::string name;       // test name
    std::string fileName;
    std::string bytes;
    std::string label;      // what the menu must show
};

void PrintTo(const BadFileCase& c, std::ostream* os) { *os << c.name; }

std::vector<BadFileCase> BadFileCases()
{
    const std::string a63 = std::string(LABEL_LIMIT, 'a');
    const std::string wide32 = Repeat("あ", 32);   // 64 bytes, all double-byte
    return {
        { "Empty", "EMPTY.SCR", "", "EMPTY" },
        { "PlainText", "README.SCR", "this is not a program\r\n", "README" },
        { "Noise", "NOISE.SCR", fixtures::NoiseBytes(NOISE_SIZE, NOISE_SEED), "NOISE" },
        { "MzPointingNowhere", "BADMZ.SCR", MzPointingNowhere(), "BADMZ" },
        { "SixteenBitModule", "OLD16.SCR", fixtures::NeModule(), "OLD16" },
        { "PeWithoutResources", "NORES.SCR", fixtures::PeWithoutResources(), "NORES" },
        { "ResourcesCutOff", "CUTOFF.SCR", ResourcesCutOff(), "CUTOFF" },
        { "NameOutsideImage", "FARDATA.SCR", NameOutsideImage(), "FARDATA" },
        { "NameOf0Bytes", "NAME0.SCR", fixtures::PeWithDisplayName(""), "NAME0" },
        { "NameOf63Bytes", "NAME63.SCR", fixtures::PeWithDisplayName(a63), a63 },
        { "NameOf64Bytes", "NAME64.SCR", fixtures::PeWithDisplayName(a63 + "b"), a63 },
        { "NameOf200Bytes", "NAME200.SCR", fixtures::PeWithDisplayName(std::string(200, 'c')),
          std::string(LABEL_LIMIT, 'c') },
        // The 63rd byte would be the lead byte of the 32nd character.
        { "NameOf64BytesDoubleByte", "WIDE64.SCR", fixtures::PeWithDisplayName(wide32),
          Repeat("あ", 31) },
        { "NameOf63BytesMixed", "MIXED63.SCR", fixtures::PeWithDisplayName("A" + Repeat("あ", 31)),
          "A" + Repeat("あ", 31) },
    };
}

using BadSaverFile = InScratchDir<::testing::TestWithParam<BadFileCase>>;

// Listed under a usable label, selectable, and read the same after a refresh.
TEST_P(BadSaverFile, IsListedAndUsableWithoutAWord)
{
    const BadFileCase& param = GetParam();
    std::string good = InstallSaver("logsaver.scr", dir.saverbox(), GOOD_SAVER);
    MakeFolderFile(JoinPath(dir.saverbox(), param.fileName), param.bytes);
    WriteScrnsave(good);
    WriteIni(dir.ini(), "Message", "OpenMessageBox", "0");
    BoxResponder boxes;
    MainWindow window;
    ASSERT_TRUE(IsWindow(window));
    ASSERT_EQ(2, appState.saverCount);
    int index = IndexOfSaver(param.fileName);
    ASSERT_NE(0, index);
    EXPECT_EQ(param.label, MenuLabel(IDM_SAVER_BASE + index));
    EXPECT_EQ(LOGGER_LABEL, MenuLabel(IDM_SAVER_BASE + IndexOfSaver(GOOD_SAVER)));
    EXPECT_TRUE(ChecksMatchState());

    SendCommand(window, IDM_SAVER_BASE + index);
    EXPECT_EQ(JoinPath(dir.saverbox(), param.fileName), ReadScrnsave());
    EXPECT_TRUE(MenuChecked(IDM_SAVER_BASE + index));
    PumpMessages(SETTLE_MS);

    SendCommand(window, IDM_REFRESH);
    ASSERT_EQ(2, appState.saverCount);
    index = IndexOfSaver(param.fileName);
    EXPECT_EQ(param.label, MenuLabel(IDM_SAVER_BASE + index));
    EXPECT_TRUE(IsCataloguePath(ReadScrnsave()));
    EXPECT_TRUE(ChecksMatchState());
    EXPECT_EQ(0u, boxes.Count()) << BoxTexts(boxes);
}

INSTANTIATE_TEST_SUITE_P(Files, BadSaverFile, ::testing::ValuesIn(BadFileCases()),
    [](const ::testing::TestParamInfo<BadFileCase>& info) { return info.param.name; });

// A stored name length past the end of the file: read only what is there.
TEST_F(DamagedStringTable, NameRunningOffTheEndOfTheFile)
{
    std::string good = InstallSaver("logsaver.scr", dir.saverbox(), GOOD_SAVER);
    MakeFolderFile(JoinPath(dir.saverbox(), "EDGE.SCR"), fixtures::PeWithNameRunningOffTheEnd());
    WriteScrnsave(good);
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(2, appState.saverCount);
    std::string label = MenuLabel(IDM_SAVER_BASE + IndexOfSaver("EDGE.SCR"));
    // What the file holds of the name, or the file name.
    EXPECT_TRUE(label == "x" || label == "EDGE") << label;
    EXPECT_EQ(0u, boxes.Count()) << BoxTexts(boxes);
}

// The hashed 8.3 alias is the path stored, compared and run.
TEST_F(SaverNames, BlanksAndJapaneseCharactersAreStoredMatchedAndRunByAlias)
{
    std::string longPath = InstallSaver("logsaver.scr", dir.saverbox(), JAPANESE_SAVER);
    std::string alias = ShortNameOf(longPath);
    ASSERT_FALSE(alias.empty());
    std::string aliasPath = JoinPath(dir.saverbox(), alias);
    std::string log = dir.file("log.txt");
    SetSaverLog(log);
    // Configured in other letter case: still the same saver.
    std::string configured = aliasPath;
    CharLowerA(&configured[0]);
    WriteScrnsave(configured);
    WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", "0");
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(1, appState.saverCount);
    EXPECT_STREQ(JAPANESE_SAVER, appState.cursor->longName);
    EXPECT_EQ(LOGGER_LABEL, MenuLabel(IDM_SAVER_FIRST));
    EXPECT_TRUE(MenuChecked(IDM_SAVER_FIRST));
    EXPECT_EQ(configured, appState.currentSaver);

    SendCommand(window, IDM_SAVER_SETUP);
    SendCommand(window, IDM_START_RANDOM);
    ASSERT_TRUE(PumpUntil([&] { return ReadLogLines(log).size() >= 2; }, SAVER_RUN_TIMEOUT_MS));
    std::vector<std::string> lines = ReadLogLines(log);
    EXPECT_EQ("\"" + configured + "\"", lines[0]);
    EXPECT_EQ("\"" + aliasPath + "\" /s", lines[1]);
    PumpMessages(SETTLE_MS);
    EXPECT_EQ(0u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_EQ(configured, ReadScrnsave());
}

TEST_F(SaverNames, BlanksAndJapaneseCharactersShowInLabelAndMessage)
{
    std::string aliasPath = JoinPath(dir.saverbox(),
        ShortNameOf(InstallSaver("logsaver.scr", dir.saverbox(), JAPANESE_SAVER)));
    std::string plain = InstallSaver("nameless.scr", dir.saverbox(), "PLAIN.SCR");
    WriteScrnsave(plain);
    WriteIni(dir.ini(), "Action", "UseSaverName", "0");
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(2, appState.saverCount);
    int index = IndexOfSaver(JAPANESE_SAVER);
    ASSERT_NE(0, index);
    EXPECT_EQ(JAPANESE_STEM, MenuLabel(IDM_SAVER_BASE + index));

    SendCommand(window, IDM_SAVER_BASE + index);
    EXPECT_EQ(aliasPath, ReadScrnsave());
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ(std::string("スクリーンセーバーを「 ") + JAPANESE_STEM + " 」に変更しました。",
              boxes.Boxes()[0].text);
}

// Ids from 41900 on are other commands: the 900th file is left out.
TEST_F(ManySavers, NineHundredFilesListEightHundredNinetyNine)
{
    CreateDirectoryA(dir.saverbox().c_str(), NULL);
    for (int i = 1; i <= TOO_MANY_SAVERS; ++i) {
        char name[16];
        wsprintfA(name, "S%04d.SCR", i);
        HANDLE file = CreateFileA(JoinPath(dir.saverbox(), name).c_str(), GENERIC_WRITE, 0, NULL,
                                  CREATE_ALWAYS, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
    }
    WriteScrnsave(ABSENT);
    WriteIni(dir.ini(), "Message", "OpenMessageBox", "0");
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(MAX_SAVERS, appState.saverCount);
    for (int i = 1; i <= MAX_SAVERS; ++i)
        ASSERT_TRUE(MenuItemExists(IDM_SAVER_BASE + i)) << i;
    HMENU savers = SaverSubmenu();
    ASSERT_TRUE(savers != NULL);
    EXPECT_EQ(MAX_SAVERS + FIXED_ITEMS_BELOW_SAVERS, GetMenuItemCount(savers));
    EXPECT_EQ(SETUP_LABEL, MenuLabel(IDM_SAVER_SETUP));
    EXPECT_TRUE(IsCataloguePath(ReadScrnsave()));
    EXPECT_TRUE(ChecksMatchState());

    SendCommand(window, IDM_SAVER_LAST);
    EXPECT_EQ(MAX_SAVERS, appState.lastSaverIndex);
    EXPECT_EQ(PathOfSaver(MAX_SAVERS), ReadScrnsave());
    // Configuring the empty file: the moved message, a rebuild again to 899.
    SendCommand(window, IDM_SAVER_SETUP);
    ASSERT_EQ(1u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_EQ(MOVED_TEXT, boxes.Boxes()[0].text);
    EXPECT_EQ(MAX_SAVERS, appState.saverCount);
    EXPECT_EQ(MAX_SAVERS + FIXED_ITEMS_BELOW_SAVERS, GetMenuItemCount(SaverSubmenu()));
    EXPECT_TRUE(ChecksMatchState());
}

// Listed like a file, fails like a missing file when run.
TEST_F(OddEntries, FolderNamedLikeASaver)
{
    std::string good = InstallSaver("logsaver.scr", dir.saverbox(), GOOD_SAVER);
    std::string folder = JoinPath(dir.saverbox(), "x.scr");
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    WriteScrnsave(good);
    WriteIni(dir.ini(), "Message", "OpenMessageBox", "0");
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(2, appState.saverCount);
    int index = IndexOfSaver("x.scr");
    ASSERT_NE(0, index);
    EXPECT_EQ("x", MenuLabel(IDM_SAVER_BASE + index));

    SendCommand(window, IDM_SAVER_BASE + index);
    EXPECT_EQ(folder, ReadScrnsave());
    SendCommand(window, IDM_SAVER_SETUP);
    ASSERT_EQ(1u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_EQ(MOVED_TEXT, boxes.Boxes()[0].text);
    EXPECT_EQ(2, appState.saverCount);
    EXPECT_TRUE(IsCataloguePath(ReadScrnsave()));
    EXPECT_TRUE(ChecksMatchState());
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

// Neither replaced nor searched; the other folders still count.
TEST_F(OddEntries, SaverFolderThatIsAFile)
{
    const std::string content = "not a folder\r\n";
    WriteFileBytes(dir.saverbox(), content);
    WindowsDirSaver saver("logsaver.scr");
    WriteScrnsave(saver.path());
    BoxResponder boxes;
    {
        MainWindow window;
        ASSERT_TRUE(IsWindow(window));
        ASSERT_EQ(1, appState.saverCount);
        EXPECT_EQ(saver.path(), PathOfSaver(1));
        EXPECT_TRUE(MenuChecked(IDM_SAVER_FIRST));
        SendCommand(window, IDM_REFRESH);
        EXPECT_EQ(1, appState.saverCount);
    }
    EXPECT_EQ(0u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_EQ(content, ReadFileBytes(dir.saverbox()));
    EXPECT_EQ(0u, GetFileAttributesA(dir.saverbox().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(OddEntries, SaverFolderThatIsAFileAndNoOtherSaver)
{
    const std::string content = "not a folder\r\n";
    WriteFileBytes(dir.saverbox(), content);
    WriteScrnsave("C:\\somewhere\\else.scr");
    BoxResponder boxes;
    {
        MainWindow window;
        ASSERT_TRUE(IsWindow(window));
        EXPECT_EQ(0, appState.saverCount);
        EXPECT_TRUE(appState.menuRoot == NULL);   // torn down
    }
    ASSERT_EQ(1u, boxes.Count()) << BoxTexts(boxes);
    EXPECT_EQ(EMPTY_CATALOGUE_TEXT, boxes.Boxes()[0].text);
    EXPECT_EQ(content, ReadFileBytes(dir.saverbox()));
    EXPECT_EQ("C:\\somewhere\\else.scr", ReadScrnsave());
}

// Savers that change between the build of the catalogue and their use.
enum class Damage { Deleted, ReplacedBySaver, ReplacedByNonProgram };
enum class Use { Select, Configure, RandomStart };
enum class Expect { SaverB, SaverC, AnyListed };

struct GoneCase {
    const char* name;
    Damage damage;
    Use use;
    size_t boxCount;
    const char* boxText;        // every box's text
    int logLines;               // savers that ran
    const char* logArgs;        // what they were given ("" or " /s")
    Expect configured;          // SCRNSAVE.EXE afterwards
};

void PrintTo(const GoneCase& c, std::ostream* os) { *os << c.name; }

using SaverGoneBeforeUse = InScratchDir<::testing::TestWithParam<GoneCase>>;

// A configured, A and B listed; then both deleted (C appears), replaced by
// another saver, or by a file that cannot run: the random pick is certain.
TEST_P(SaverGoneBeforeUse, EndsInAKnownState)
{
    const GoneCase& param = GetParam();
    std::string a = InstallSaver("logsaver.scr", dir.saverbox(), "A.SCR");
    std::string b = InstallSaver("logsaver.scr", dir.saverbox(), "B.SCR");
    std::string c = JoinPath(dir.saverbox(), "C.SCR");
    std::string log = dir.file("log.txt");
    SetSaverLog(log);
    WriteScrnsave(a);
    WriteIni(dir.ini(), "Message", "OpenMessageBox", "0");
    WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", "0");
    BoxResponder boxes;
    MainWindow window;
    ASSERT_EQ(2, appState.saverCount);
    ASSERT_TRUE(MenuChecked(IDM_SAVER_BASE + IndexOfSaver("A.SCR")));

    for (const std::string& path : { a, b }) {
        switch (param.damage) {
        case Damage::Deleted:
            ASSERT_TRUE(DeleteFileA(path.c_str()));
            break;
        case Damage::ReplacedBySaver:
            ASSERT_TRUE(CopyFileA(SaverFile("nameless.scr").c_str(), path.c_str(), FALSE));
            break;
        case Damage::ReplacedByNonProgram:
            WriteFileBytes(path, "");
            break;
        }
    }
    if (param.damage == Damage::Deleted)
        InstallSaver("logsaver.scr", dir.saverbox(), "C.SCR");

    switch (param.use) {
    case Use::Select:
        SendCommand(window, IDM_SAVER_BASE + IndexOfSaver("B.SCR"));
        break;
    case Use::Configure:
        SendCommand(window, IDM_SAVER_SETUP);
        break;
    case Use::RandomStart:
        SendCommand(window, IDM_START_RANDOM);
        break;
    }
    PumpUntil([&] { return (int)ReadLogLines(log).size() >= param.logLines; },
              param.logLines ? SAVER_RUN_TIMEOUT_MS : 0);
    PumpMessages(SETTLE_MS);

    ASSERT_EQ(param.boxCount, boxes.Count()) << BoxTexts(boxes);
    for (const BoxRecord& box : boxes.Boxes()) {
        EXPECT_EQ(param.boxText, box.text);
        EXPECT_EQ(window.get(), box.owner);
    }
    std::vector<std::string> lines = ReadLogLines(log);
    ASSERT_EQ((size_t)param.logLines, lines.size());
    for (const std::string& line : lines) {
        bool known = false;
        for (const std::string& path : { a, b, c })
            known = known || line == "\"" + path + "\"" + param.logArgs;
        EXPECT_TRUE(known) << line;
    }
    std::string configured = ReadScrnsave();
    switch (param.configured) {
    case Expect::SaverB:
        EXPECT_EQ(b, configured);
        break;
    case Expect::SaverC:
        EXPECT_EQ(c, configured);
        EXPECT_EQ(1, appState.saverCount);
        break;
    case Expect::AnyListed:
        EXPECT_TRUE(IsCataloguePath(configured)) << configured;
        break;
    }
    EXPECT_EQ(configured, appState.currentSaver);
    EXPECT_TRUE(ChecksMatchState());
}

INSTANTIATE_TEST_SUITE_P(Cases, SaverGoneBeforeUse, ::testing::Values(
    // Choosing writes the path it was given; nothing is run, nothing said.
    GoneCase{ "DeletedThenSelected", Damage::Deleted, Use::Select, 0, "", 0, "", Expect::SaverB },
    GoneCase{ "DeletedThenConfigured", Damage::Deleted, Use::Configure, 1, MOVED_TEXT, 0, "",
              Expect::SaverC },
    GoneCase{ "DeletedThenStartedAtRandom", Damage::Deleted, Use::RandomStart, 1, DELETED_TEXT,
              1, " /s", Expect::SaverC },
    GoneCase{ "ReplacedThenSelected", Damage::ReplacedBySaver, Use::Select, 0, "", 0, "",
              Expect::SaverB },
    GoneCase{ "ReplacedThenConfigured", Damage::ReplacedBySaver, Use::Configure, 0, "", 1, "",
              Expect::AnyListed },
    GoneCase{ "ReplacedThenStartedAtRandom", Damage::ReplacedBySaver, Use::RandomStart, 0, "",
              1, " /s", Expect::AnyListed },
    GoneCase{ "UnrunnableThenSelected", Damage::ReplacedByNonProgram, Use::Select, 0, "", 0, "",
              Expect::SaverB },
    GoneCase{ "UnrunnableThenConfigured", Damage::ReplacedByNonProgram, Use::Configure, 1,
              MOVED_TEXT, 0, "", Expect::AnyListed },
    // Still there after every rebuild: the retries must end by themselves.
    GoneCase{ "UnrunnableThenStartedAtRandom", Damage::ReplacedByNonProgram, Use::RandomStart,
              1 + MAX_RANDOM_START_RETRIES, DELETED_TEXT, 0, "", Expect::AnyListed }),
    [](const ::testing::TestParamInfo<GoneCase>& info) { return std::string(info.param.name); });

}  // namespace
