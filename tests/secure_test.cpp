// The password on resume: set from the tray, from the command line and elsewhere, in the value each Windows
// keeps it in. Wine reports another Windows to a program through HKCU\Software\Wine\AppDefaults.
#include "harness.h"
#include "res/resource.h"
#include <algorithm>
#include <memory>

namespace {

constexpr char NT_VALUE[] = "ScreenSaverIsSecure";
constexpr char W9X_VALUE[] = "ScreenSaveUsePassword";
constexpr char SECURE_ITEM[] = "パスワードで保護 40320";
constexpr char GRAYED_ITEM[] = "(grayed) パスワードで保護 40320";
constexpr char AS_WIN32S[] = "NAPKIT_TEST_AS_WIN32S";   // set for this program started again under Win32s

// Wine reports this version of Windows to the program while the object lives.
class ReportedWindows {
public:
    ReportedWindows(const std::string& program, const wchar_t* version)
        : key_(L"Software\\Wine\\AppDefaults\\" + std::wstring(program.begin(), program.end()))
    {
        HKEY key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL)) {
            ADD_FAILURE() << "cannot create the AppDefaults key";
            return;
        }
        RegSetValueExW(key, L"Version", 0, REG_SZ, (const BYTE*)version, (lstrlenW(version) + 1) * sizeof(wchar_t));
        RegCloseKey(key);
    }
    ~ReportedWindows() { RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str()); }
private:
    std::wstring key_;
};

struct Secure : Napkit {
    void SetUp() override
    {
        Napkit::SetUp();
        SetIni("Message", "OpenMessageBox", "0");
        SetDesktopValue(NT_VALUE, ABSENT);
        SetDesktopValue(W9X_VALUE, ABSENT);
    }
    void TearDown() override
    {
        Napkit::TearDown();
        SetDesktopValue(NT_VALUE, ABSENT);
        SetDesktopValue(W9X_VALUE, ABSENT);
    }
    bool Listed(const char* item)
    {
        Lines layout = Submenu(IDM_SECURE);
        return std::find(layout.begin(), layout.end(), Text(item)) != layout.end();
    }
};

TEST_F(Secure, TrayItemSetsTheFlagAndThePollFollowsChangesElsewhere)
{
    // Wine answers neither SPI_GETSCREENSAVESECURE nor its set: this program runs as Wine's default Windows (NT).
    struct Row { const char* name; void (*act)(Secure&); const char* calls; const char* stored; const char* checks; };
    const Row rows[] = {
        { .name = "at start", .act = [](Secure&) {}, .stored = ABSENT, .checks = "40101 40205 40301 41001" },
        { .name = "item chosen", .act = [](Secure& t) { t.Command(IDM_SECURE); },
          .calls = "reg ScreenSaverIsSecure REG_SZ 2 1", .stored = "sz:1", .checks = "40101 40205 40301 40320 41001" },
        { .name = "cleared elsewhere", .act = [](Secure& t) { SetDesktopValue(NT_VALUE, "sz:0"); t.Ticks(1); },
          .stored = "sz:0", .checks = "40101 40205 40301 41001" },
    };
    Start();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.act(*this);
        EXPECT_EQ(TakeCalls(), row.calls ? Lines{ row.calls } : Lines{});
        EXPECT_EQ(DesktopValue(NT_VALUE), row.stored);
        EXPECT_EQ(Checks(), row.checks);
    }
    EXPECT_EQ(DesktopValue(W9X_VALUE), ABSENT) << "the value of Windows 9x is not touched on Windows NT";
    EXPECT_TRUE(Listed(SECURE_ITEM)) << "expected the item enabled";
    Close();
}

TEST_F(Secure, EachWindowsKeepsTheFlagInItsOwnValueAloneOrForwarded)
{
    // tray: a tray copy runs, under the same Windows; before, after: the value of Windows NT, then that of 9x
    struct Row { const wchar_t* version; bool tray = false; const char* args; const char* before[2]; DWORD code = 0;
                 const char* after[2]; };
    const Row rows[] = {
        { .version = L"win98", .args = "/secure:on", .before = { ABSENT, ABSENT }, .after = { ABSENT, "dword:1" } },
        { .version = L"win98", .tray = true, .args = "-SECURE:OFF", .before = { "sz:1", "binary:1" },
          .after = { "sz:1", "binary:0" } },
        { .version = L"nt40", .args = "/secure:on", .before = { "sz:0", "binary:0" }, .after = { "sz:1", "binary:0" } },
        { .version = L"winxp", .tray = true, .args = "/secure:off", .before = { "sz:1", "dword:1" },
          .after = { "sz:0", "dword:1" } },
        { .version = L"win10", .args = "/Secure:On", .before = { "sz:1", ABSENT }, .after = { "sz:1", ABSENT } },
        { .version = L"win31", .args = "/secure:on", .before = { "sz:0", "dword:0" }, .code = 1,
          .after = { "sz:0", "dword:0" } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.args) + (row.tray ? " forwarded" : " alone") + " as "
                     + std::string(row.version, row.version + lstrlenW(row.version)));
        ReportedWindows reported("NAPKIT.EXE", row.version);
        SetDesktopValue(NT_VALUE, row.before[0]);
        SetDesktopValue(W9X_VALUE, row.before[1]);
        std::unique_ptr<Program> tray;
        if (row.tray) {
            tray.reset(new Program());
            tray->Window();   // its window shown: the copy is ready
        }
        EXPECT_EQ(RunSwitch(row.args), row.code);
        EXPECT_EQ(DesktopValue(NT_VALUE), row.after[0]);
        EXPECT_EQ(DesktopValue(W9X_VALUE), row.after[1]);
        if (tray) {
            PostMessageA(FindNapkitWindow(), WM_CLOSE, 0, 0);
            EXPECT_EQ(tray->Wait(10000), 0u);
        }
    }
}

TEST_F(Secure, ItemIsGrayedWhereTheSystemHasNoSuchSetting)
{
    if (GetEnvironmentVariableA(AS_WIN32S, NULL, 0)) {   // this program again, as Wine reports Win32s to it
        SetDesktopValue(NT_VALUE, "sz:1");
        Start();
        EXPECT_TRUE(Listed(GRAYED_ITEM)) << "expected the item grayed";
        SendCommand(IDM_SECURE);
        EXPECT_EQ(TakeCalls(), Lines{});
        EXPECT_EQ(DesktopValue(NT_VALUE), "sz:1");
        EXPECT_EQ(Checks(), "40101 40205 40301 41001") << "expected the item unchecked";
        Close();
        return;
    }
    char path[MAX_PATH];
    std::string self(path, GetModuleFileNameA(NULL, path, MAX_PATH));
    ReportedWindows reported(self.substr(self.rfind('\\') + 1), L"win31");
    SetEnvironmentVariableA(AS_WIN32S, "1");
    Program again(self, "\"" + self + "\" --gtest_filter=Secure.ItemIsGrayedWhereTheSystemHasNoSuchSetting");
    EXPECT_EQ(again.Wait(30000), 0u) << "expected this case to pass when Wine reports Win32s";
    SetEnvironmentVariableA(AS_WIN32S, NULL);
}

}  // namespace
