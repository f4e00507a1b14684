// NAPKIT.EXE as a file (what kind of program it is, what it imports and
// carries), and NAPKIT.EXE in one-shot mode ([Action] AppMode = 1), started
// as a child process in a scratch folder and watched from outside: its exit
// code, its message box, the saver it runs, the registry and the files it
// leaves.
//
// The screen-saver flag: the program reads and sets the live flag of the
// system parameters, which under Wine belongs to the display driver (the X
// server's screen-saver time-out) and is shared by every process that has
// loaded the driver. The test process has (the harness shows a window
// first), so harness::SetSpiActive without update flags is what a child
// started afterwards reads. This process keeps a cached copy of the flag, so
// the flag a child leaves behind is read by a fresh process
// (FlagSeenByANewProcess), next to the registry value.
#include <gtest/gtest.h>
#include <set>
#include "harness/harness.h"
#include "app/app.h"
#include "res/resource.h"

using namespace harness;

namespace {

constexpr DWORD START_TIMEOUT_MS = 15000;   // a cold Wine process can be slow
constexpr DWORD EXIT_TIMEOUT_MS = 10000;
constexpr DWORD BOX_TIMEOUT_MS = 10000;

constexpr char SAVER_NAME[] = "LOGSAVER.SCR";
constexpr char ACTIVE_VALUE[] = "ScreenSaveActive";
constexpr char TOGGLED_OFF[] = "スクリーンセーバーを「無効」にしました。";
constexpr char TOGGLED_ON[] = "スクリーンセーバーを「有効」にしました。";

BOOL CALLBACK CountNapkit(HWND window, LPARAM param)
{
    char name[16] = "";
    char title[16] = "";
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpA(name, APP_NAME) == 0 && lstrcmpA(title, APP_NAME) == 0)
        ++*(int*)param;
    return TRUE;
}

int CountNapkitWindows()
{
    int count = 0;
    EnumWindows(CountNapkit, (LPARAM)&count);
    return count;
}

// The flag and the registry value in agreement, as on a real system.
void SetFlag(UINT active)
{
    WriteDesktopValueText(ACTIVE_VALUE, active ? "1" : "0");
    SetSpiActive(active);
}

// The flag as a process started now reads it: this test program started
// again, running only ProgramFlagReport below.
constexpr char FLAG_REPORT_VARIABLE[] = "NAPKIT_TEST_FLAG_REPORT";
constexpr UINT NO_REPORT = 99;

UINT FlagSeenByANewProcess()
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    ScratchDir report("flag");
    std::string file = report.file("flag.txt");
    SetEnvironmentVariableA(FLAG_REPORT_VARIABLE, file.c_str());
    ChildProcess reader;
    bool started = reader.Start("\"" + std::string(self) + "\" --gtest_filter=ProgramFlagReport.*",
                                report.path());
    SetEnvironmentVariableA(FLAG_REPORT_VARIABLE, NULL);
    if (!started || reader.Wait(START_TIMEOUT_MS) != 0)
        return NO_REPORT;
    std::string flag = ReadFileBytes(file);
    return flag == "0" ? 0 : flag == "1" ? 1 : NO_REPORT;
}

}  // namespace

// ---------------------------------------------------------------------------
// The program file: a 32-bit GUI program that Windows 4.0 loads, stripped,
// importing five system DLLs, with its resources.

namespace {

// Headers and import names read from the file's bytes, as the loader would.
struct ProgramImage {
    IMAGE_FILE_HEADER file = {};
    IMAGE_OPTIONAL_HEADER32 optional = {};
    std::set<std::string> imports;   // upper case
    bool valid = false;
};

// The file offset of a relative address, through the section table.
DWORD OffsetOf(const std::string& bytes, const IMAGE_SECTION_HEADER* sections, int count,
               DWORD rva)
{
    for (int i = 0; i < count; ++i) {
        const IMAGE_SECTION_HEADER& section = sections[i];
        DWORD size = section.Misc.VirtualSize ? section.Misc.VirtualSize : section.SizeOfRawData;
        if (rva >= section.VirtualAddress && rva < section.VirtualAddress + size)
            return rva - section.VirtualAddress + section.PointerToRawData;
    }
    return (DWORD)bytes.size();
}

ProgramImage ReadProgramImage(const std::string& path)
{
    ProgramImage image;
    std::string bytes = ReadFileBytes(path);
    if (bytes.size() < sizeof(IMAGE_DOS_HEADER))
        return image;
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)bytes.data();
    if (dos->e_magic != IMAGE_DOS_SIGNATURE
        || (size_t)dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32) > bytes.size())
        return image;
    const IMAGE_NT_HEADERS32* nt = (const IMAGE_NT_HEADERS32*)(bytes.data() + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return image;
    image.file = nt->FileHeader;
    image.optional = nt->OptionalHeader;
    const IMAGE_SECTION_HEADER* sections = IMAGE_FIRST_SECTION(nt);
    int count = nt->FileHeader.NumberOfSections;
    DWORD importsRva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    DWORD offset = OffsetOf(bytes, sections, count, importsRva);
    for (;; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        if (offset + sizeof(IMAGE_IMPORT_DESCRIPTOR) > bytes.size())
            return image;
        const IMAGE_IMPORT_DESCRIPTOR* entry = (const IMAGE_IMPORT_DESCRIPTOR*)(bytes.data() + offset);
        if (entry->Name == 0)
            break;
        DWORD name = OffsetOf(bytes, sections, count, entry->Name);
        if (name >= bytes.size())
            return image;
        std::string dll = bytes.c_str() + name;
        CharUpperBuffA(&dll[0], (DWORD)dll.size());
        image.imports.insert(dll);
    }
    image.valid = true;
    return image;
}

}  // namespace

TEST(ProgramImage, IsAStrippedWin32GuiProgramForWindows4)
{
    ProgramImage image = ReadProgramImage(NapkitExe());
    ASSERT_TRUE(image.valid);
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386, image.file.Machine);
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, image.optional.Magic);
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, image.optional.Subsystem);
    EXPECT_EQ(4, image.optional.MajorSubsystemVersion);
    EXPECT_EQ(0, image.optional.MinorSubsystemVersion);
    EXPECT_EQ(4, image.optional.MajorOperatingSystemVersion);
    // Stripped: no COFF symbol table left.
    EXPECT_EQ(0u, image.file.PointerToSymbolTable);
    EXPECT_EQ(0u, image.file.NumberOfSymbols);
    // Statically linked: no runtime DLL of the compiler.
    std::set<std::string> expected = { "KERNEL32.DLL", "USER32.DLL", "SHELL32.DLL",
                                       "ADVAPI32.DLL", "MSVCRT.DLL" };
    EXPECT_EQ(expected, image.imports);
}

TEST(ProgramImage, CarriesMenuDialogsIconsAndVersion)
{
    constexpr DWORD FIXED_INFO_SIGNATURE = 0xFEEF04BD;
    constexpr DWORD VERSION_1_43 = MAKELONG(43, 1);
    HMODULE program = LoadLibraryExA(NapkitExe().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(program != NULL);
    EXPECT_TRUE(FindResourceA(program, MAKEINTRESOURCEA(IDR_TRAYMENU), (LPCSTR)RT_MENU));
    for (int dialog : { IDD_ABOUT, IDD_VALUE, IDD_SETTINGS })
        EXPECT_TRUE(FindResourceA(program, MAKEINTRESOURCEA(dialog), (LPCSTR)RT_DIALOG)) << dialog;
    for (int icon : { IDI_APP, IDI_ACTIVE, IDI_INACTIVE })
        EXPECT_TRUE(FindResourceA(program, MAKEINTRESOURCEA(icon), (LPCSTR)RT_GROUP_ICON)) << icon;
    HRSRC version = FindResourceA(program, MAKEINTRESOURCEA(VS_VERSION_INFO), (LPCSTR)RT_VERSION);
    ASSERT_TRUE(version != NULL);
    const BYTE* block = (const BYTE*)LockResource(LoadResource(program, version));
    DWORD size = SizeofResource(program, version);
    const VS_FIXEDFILEINFO* fixed = NULL;
    for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size && !fixed; at += sizeof(DWORD)) {
        if (*(const DWORD*)(block + at) == FIXED_INFO_SIGNATURE)
            fixed = (const VS_FIXEDFILEINFO*)(block + at);
    }
    ASSERT_TRUE(fixed != NULL);
    EXPECT_EQ(VERSION_1_43, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(VERSION_1_43, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    FreeLibrary(program);
}

// ---------------------------------------------------------------------------
// One-shot mode.

// The reader that FlagSeenByANewProcess starts; does nothing in an ordinary
// run.
TEST(ProgramFlagReport, WritesTheFlagWhenAsked)
{
    char file[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(FLAG_REPORT_VARIABLE, file, sizeof file);
    if (length == 0 || length >= sizeof file)
        GTEST_SKIP() << "runs only as the reader started by FlagSeenByANewProcess";
    WriteFileBytes(file, SpiActive() ? "1" : "0");
}

struct ToggleCase {
    const char* name;
    UINT live;                    // the flag of the system parameters
    const char* registryBefore;   // may disagree: the live flag counts
    const char* openMessageBox;   // nullptr: key absent
    const char* text;
    const char* registryAfter;
};

void PrintTo(const ToggleCase& c, std::ostream* out) { *out << c.name; }

class ProgramOneShotToggle : public ::testing::TestWithParam<ToggleCase> {};

// The box is shown whatever OpenMessageBox says; it is system-modal, has no
// owner, and the program creates no window of its own.
TEST_P(ProgramOneShotToggle, FlipsTheFlagSaysSoAndExitsWithZero)
{
    const ToggleCase& c = GetParam();
    SystemGuard guard;
    ScratchDir dir;
    // A configured saver, so that SYSTEM.INI has something to keep.
    WriteScrnsave(InstallSaver("logsaver.scr", dir.saverbox(), SAVER_NAME));
    WriteIni(dir.ini(), "Action", "AppMode", "1");
    if (c.openMessageBox)
        WriteIni(dir.ini(), "Message", "OpenMessageBox", c.openMessageBox);
    std::string systemIni = ReadFileBytes(SystemIniPath());
    std::string settings = ReadFileBytes(dir.ini());
    WriteDesktopValueText(ACTIVE_VALUE, c.registryBefore);
    SetSpiActive(c.live);

    ChildProcess child;
    ASSERT_TRUE(StartNapkit(child, dir.path()));
    BoxResponder boxes(child.id());
    // Sampled for the whole run: one-shot mode never makes a main window.
    int napkitWindows = 0;
    PumpUntil([&] {
        int now = CountNapkitWindows();
        napkitWindows = now > napkitWindows ? now : napkitWindows;
        return WaitForSingleObject(child.handle(), 0) == WAIT_OBJECT_0;
    }, BOX_TIMEOUT_MS + EXIT_TIMEOUT_MS);
    ASSERT_EQ(0u, child.Wait(0));

    ASSERT_EQ(1u, boxes.Count());
    BoxRecord box = boxes.Boxes()[0];
    EXPECT_EQ("NAPKIT", box.caption);
    EXPECT_EQ(c.text, box.text);
    EXPECT_EQ(NULL, box.owner);
    EXPECT_TRUE(box.topmost);
    EXPECT_TRUE(box.hasIcon);
    EXPECT_EQ(1, box.buttons);
    EXPECT_EQ(0, napkitWindows);
    EXPECT_EQ(c.registryAfter, ReadDesktopValue(ACTIVE_VALUE));
    EXPECT_EQ(c.live ^ 1, FlagSeenByANewProcess());
    // Only the flag changes: neither SYSTEM.INI nor the settings file.
    EXPECT_EQ(systemIni, ReadFileBytes(SystemIniPath()));
    EXPECT_EQ(settings, ReadFileBytes(dir.ini()));
}

INSTANTIATE_TEST_SUITE_P(States, ProgramOneShotToggle, ::testing::Values(
    ToggleCase{ "OnToOff", 1, "1", nullptr, TOGGLED_OFF, "0" },
    ToggleCase{ "OffToOn", 0, "0", nullptr, TOGGLED_ON, "1" },
    ToggleCase{ "OnToOffWithBoxesOff", 1, "1", "0", TOGGLED_OFF, "0" },
    ToggleCase{ "OffToOnWithBoxesOff", 0, "0", "0", TOGGLED_ON, "1" },
    ToggleCase{ "LiveOnRegistryOff", 1, "0", nullptr, TOGGLED_OFF, "0" },
    ToggleCase{ "LiveOffRegistryOn", 0, "1", nullptr, TOGGLED_ON, "1" }),
    [](const ::testing::TestParamInfo<ToggleCase>& info) { return std::string(info.param.name); });

struct StartCase {
    const char* name;
    const char* folder;   // under the scratch folder
    const char* file;
};

void PrintTo(const StartCase& c, std::ostream* out) { *out << c.name; }

class ProgramOneShotStart : public ::testing::TestWithParam<StartCase> {};

// IconDubbleClick 0: after the wait the configured saver runs with /s, its
// path in quotes (unquoted, a path under "Program Files" could start
// "...\Program.exe"); no box, nothing written, exit code 0.
TEST_P(ProgramOneShotStart, RunsTheConfiguredSaverAfterTheWait)
{
    // Well above the time a child takes to start, so that a missing wait shows.
    constexpr int WAIT_MS = 2000;
    constexpr DWORD TICK_SLACK_MS = 20;
    const StartCase& c = GetParam();
    SystemGuard guard;
    ScratchDir dir;
    std::string saver = InstallSaver("logsaver.scr", dir.file(c.folder), c.file);
    WriteScrnsave(saver);
    WriteIni(dir.ini(), "Action", "AppMode", "1");
    WriteIni(dir.ini(), "Action", "IconDubbleClick", "0");
    WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", std::to_string(WAIT_MS));
    std::string log = dir.file("log.txt");
    SetSaverLog(log);
    SetFlag(1);
    std::string systemIni = ReadFileBytes(SystemIniPath());
    std::string settings = ReadFileBytes(dir.ini());

    DWORD started = GetTickCount();
    ChildProcess child;
    ASSERT_TRUE(StartNapkit(child, dir.path()));
    BoxResponder boxes(child.id());
    ASSERT_TRUE(PumpUntil([&] { return !ReadLogLines(log).empty(); }, START_TIMEOUT_MS));
    DWORD ran = GetTickCount() - started;
    ASSERT_EQ(0u, child.Wait(EXIT_TIMEOUT_MS));
    PumpMessages(300);   // a second saver line, if any, lands meanwhile

    EXPECT_GE(ran + TICK_SLACK_MS, (DWORD)WAIT_MS);
    std::vector<std::string> lines = ReadLogLines(log);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("\"" + saver + "\" /s", lines[0]);
    EXPECT_EQ(0u, boxes.Count());
    EXPECT_EQ("1", ReadDesktopValue(ACTIVE_VALUE));
    EXPECT_EQ(1u, FlagSeenByANewProcess());
    EXPECT_EQ(systemIni, ReadFileBytes(SystemIniPath()));
    EXPECT_EQ(settings, ReadFileBytes(dir.ini()));
}

INSTANTIATE_TEST_SUITE_P(Savers, ProgramOneShotStart, ::testing::Values(
    StartCase{ "InTheSaverbox", "saverbox", SAVER_NAME },
    StartCase{ "UnderProgramFiles", "Program Files", "My Saver.scr" }),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

class ProgramOneShotFallback : public ::testing::TestWithParam<const char*> {};

// A start that cannot run falls back to the toggle, box and all.
TEST_P(ProgramOneShotFallback, TogglesWhenTheSaverCannotRun)
{
    SystemGuard guard;
    ScratchDir dir;
    WriteScrnsave(GetParam());
    WriteIni(dir.ini(), "Action", "AppMode", "1");
    WriteIni(dir.ini(), "Action", "IconDubbleClick", "0");
    WriteIni(dir.ini(), "Action", "ScreenSaveCommandWait", "0");
    SetFlag(1);

    ChildProcess child;
    ASSERT_TRUE(StartNapkit(child, dir.path()));
    BoxResponder boxes(child.id());
    ASSERT_TRUE(boxes.WaitForCount(1, BOX_TIMEOUT_MS));
    ASSERT_EQ(0u, child.Wait(EXIT_TIMEOUT_MS));
    ASSERT_EQ(1u, boxes.Count());
    EXPECT_EQ("NAPKIT", boxes.Boxes()[0].caption);
    EXPECT_EQ(TOGGLED_OFF, boxes.Boxes()[0].text);
    EXPECT_EQ("0", ReadDesktopValue(ACTIVE_VALUE));
    EXPECT_EQ(0u, FlagSeenByANewProcess());
}

INSTANTIATE_TEST_SUITE_P(Configured, ProgramOneShotFallback,
    ::testing::Values(ABSENT, "", "C:\\no such folder\\gone.scr"),
    [](const ::testing::TestParamInfo<const char*>& info) {
        std::string value = info.param;
        return std::string(value == ABSENT ? "Absent" : value.empty() ? "Empty" : "MissingFile");
    });
