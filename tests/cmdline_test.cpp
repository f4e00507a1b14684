// NAPKIT.EXE with a switch: run by a running copy, on the system alone, or refused.
#include "harness.h"

const char* const USAGE[] = { "NAPKIT|", "\n/on ：", "\n/off ：", "\n/toggle ：", "\n/start ：",
                              "\n/random ：", "\n/timeout:N ：", "\n/refresh ：", "\n/exit ：", "\n/? ：" };

struct CommandLine : Napkit {
    std::string saver, started;
    void SetUp() override
    {
        Napkit::SetUp();
        SetScrnsave(saver = Install("logsaver.scr", "ONE.SCR"));
        started = "\"" + saver + "\" /s";
        SetIni("Action", "ScreenSaveCommandWait", "250"), SetIni("Message", "OpenMessageBox", "0"), TakeDesktop();
    }
    std::string TakeDesktop()   // HKCU\Control Panel\desktop as "active/timeout", then cleared
    {
        auto take = [](const char* name) {
            std::string value = DesktopValue(name);
            SetDesktopValue(name, ABSENT);
            return value == ABSENT ? "-" : value == Sz(value.c_str()) ? value.substr(0, value.size() - 1) : value;
        };
        return take("ScreenSaveActive") + "/" + take("ScreenSaveTimeOut");
    }
    // NAPKIT.EXE run in the case's folder: its exit code, having shown this many usage boxes
    DWORD Run(const std::string& args, size_t boxes = 0)
    {
        Program program(args);
        DWORD code = program.Wait(15000);
        EXPECT_EQ(program.Boxes().size(), boxes) << args;
        for (const std::string& box : program.Boxes())
            for (const char* part : USAGE)
                EXPECT_NE(box.find(part), std::string::npos) << part;
        return code;
    }
};

TEST_F(CommandLine, RunningCopyCarriesOutEachSwitchAsItsCommand)
{
    struct Row { const char* args; UINT active, seconds; Lines calls; const char* checks, *desktop; };
    const Row rows[] = {
        { "/on", 0, 300, { "reg ScreenSaveActive 2 1", "spi 17 1 2" }, "40101 40205 40301 41001", "1/-" },
        { "-OFF", 1, 300, { "reg ScreenSaveActive 2 0", "spi 17 0 2" }, "40101 40205 40302 41001", "0/-" },
        { "-Toggle", 1, 300, { "reg ScreenSaveActive 2 0", "spi 17 0 2" }, "40101 40205 40302 41001", "0/-" },
        { "/timeout:7", 1, 300, { "spi 15 420 2", "reg ScreenSaveTimeOut 4 420" }, "40101 40200 40301 41001", "-/420" },
        { "-TimeOut:07", 1, 420, {}, "40101 40200 40301 41001", "-/-" },
        { "/timeout:5", 1, 300, { "spi 15 300 2", "reg ScreenSaveTimeOut 4 300" }, "40101 40205 40301 41001", "-/300" },
        { "/Start", 1, 300, { "sleep 250" }, "40101 40205 40301 41001", "-/-" },
        { "-random", 1, 300, { "sleep 250", "exec 1 " + started }, "40101 40205 40301 41001", "-/-" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        SetSystemActive(row.active), SetSystemTimeout(row.seconds), Start(), TakeCalls();
        EXPECT_EQ(Run(row.args), 0u);
        EXPECT_EQ(TakeCalls(), row.calls);
        EXPECT_EQ(Checks(), row.checks);
        EXPECT_EQ(TakeDesktop(), row.desktop);
        Close();
    }
    Start(), Install("logsaver.scr", "TWO.SCR");
    EXPECT_EQ(Run("/REFRESH"), 0u);
    EXPECT_NE(MenuText(41002), ABSENT);
    EXPECT_EQ(Run("-exit"), 0u);
    ExpectEnded();
}

TEST_F(CommandLine, WithoutRunningCopyTheSystemIsSetDirectly)
{
    struct Row { const char* args; UINT active; DWORD code; UINT activeAfter; const char* desktop; size_t starts; };
    const Row rows[] = {
        { "\"/off\"", 1, 0, 0, "0/-", 0 }, { "/ON", 1, 0, 1, "-/-", 0 }, { "-toggle", 0, 0, 1, "1/-", 0 },
        { "/Toggle", 1, 0, 0, "0/-", 0 }, { "/timeout:13", 1, 0, 1, "-/780", 0 },
        { "/start", 0, 0, 0, "-/-", 1 }, { "-RANDOM", 1, 0, 1, "-/-", 2 },
        { "/refresh", 1, 1, 1, "-/-", 2 }, { "/exit", 0, 1, 0, "-/-", 2 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        SetSystemActive(row.active);
        EXPECT_EQ(Run(row.args), row.code);
        EXPECT_EQ(SystemActive(), row.activeAfter);
        EXPECT_EQ(TakeDesktop(), row.desktop);
        EXPECT_EQ(SaverLog(row.starts), Lines(row.starts, started));
    }
    EXPECT_EQ((SetScrnsave(ABSENT), Run("/start")), 1u);
    EXPECT_EQ((DeleteFileA(saver.c_str()), Run("/random")), 1u);   // no saver at all: no box either
}

TEST_F(CommandLine, BadSwitchShowsTheSwitchesAndChangesNothing)
{
    const std::pair<const char*, DWORD> rows[] = {
        { "/timeout:0", 2 }, { "/timeout:61", 2 }, { "/timeout:x", 2 }, { "/timeout:", 2 },
        { "-timeout", 2 }, { "/timeout:5x", 2 }, { "/timeout:-5", 2 }, { "/on /off", 2 },
        { "on", 2 }, { "/onn", 2 }, { "//on", 2 }, { "/", 2 }, { "\"/on", 2 }, { "/?", 0 }, { "-?", 0 },
    };
    for (bool running : { false, true }) {
        running ? (void)Start() : (void)0;
        for (const auto& row : rows)
            EXPECT_EQ(Run(row.first, 1), row.second) << row.first;
        EXPECT_EQ(TakeCalls(), Lines{});
        EXPECT_EQ(SystemActive(), 1u);
        EXPECT_EQ(TakeDesktop(), "-/-");
        EXPECT_EQ(SaverLog(0), Lines{});
    }
}

TEST_F(CommandLine, IconsHoldAnImageForEveryTraySize)
{
    HMODULE exe = LoadLibraryExA(NapkitExe().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    auto data = [exe](int id, LPCSTR type) {
        HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(id), type);
        return found ? std::string((const char*)LockResource(LoadResource(exe, found)), SizeofResource(exe, found)) : "";
    };
    for (int group : { 111, 112, 113 }) {
        std::string directory = data(group, (LPCSTR)RT_GROUP_ICON), sizes;   // as listed = as drawn
        for (size_t entry = 6; entry + 14 <= directory.size(); entry += 14) {
            std::string image = data(*(const WORD*)&directory[entry + 12], (LPCSTR)RT_ICON) + std::string(12, '\0');
            sizes += std::to_string((BYTE)directory[entry]) + "=" + std::to_string(*(const LONG*)&image[4]) + " ";
        }
        EXPECT_EQ(sizes, "32=32 24=24 20=20 16=16 ") << group;
    }
    FreeLibrary(exe), Start();
    EXPECT_EQ(TrayIcon(), "active") << "the tray's icon is the shared image of its size, not one shrunk";
}
