#include "setup/sl_main.h"
#include "setup/sl_uninst.h"
#include "setup/unzipper.h"
#include "tests/device/device_test_support.h"
#include "tests/setup/zip_builder.h"
#include "tests/shell/shell_test_support.h"

#include <cstring>

namespace fs = std::filesystem;

namespace {

constexpr const char* kUninstaller = "\\Program Files\\Orvane Software\\uninstaller.dll";
constexpr const char* kLog = "Program Files/Orvane Software/Uninstall Log for Tessark.txt";

class DeviceUninstallTest : public DeviceTest {
protected:
    // Installs the game on the device the way the setup program does.
    void Install() {
        CreateAndConnect();
        if (HasFatalFailure()) return;
        ziptest::Bytes zip = ziptest::Archive(
            {ziptest::Stored("arm/tessark.exe", "#!/bin/sh\nexit 0\n"),
             ziptest::Stored("arm/uninstaller.dll", Slurp(TESSARK_DEVICE_UNINSTALLER))});
        ZIPFILE archive(zip.data(), static_cast<DWORD>(zip.size()));
        SetupLib library;
        ASSERT_TRUE(library.connectdevice(5000));
        SetupToolkit* kit = library.device();
        ASSERT_NE(nullptr, kit);
        ASSERT_TRUE(kit->openjournal("Tessark"));
        ASSERT_TRUE(
            kit->setstringvalue(HKEY_CURRENT_USER, "Software\\Orvane\\Tessark", "Settings", "x"));
        std::string game = kit->getfolder(kProgramsFolder) + "\\Tessark\\tessark.exe";
        ASSERT_TRUE(
            kit->installfile(game, archive, kit->getprocessorname() + "\\tessark.exe", 5, 90));
        ASSERT_TRUE(kit->linkfile(kit->getfolder(kProgramsMenu) + "\\Games\\Tessark.lnk", game));
        ASSERT_TRUE(kit->finalize(archive, kit->getprocessorname() + "\\uninstaller.dll", 90, 100));
    }

    // The setup library's connection was the process's; the test's own is made again after it.
    void Reconnect() {
        Disconnect(rapi_);
        rapi_ = Connect(5000);
        ASSERT_NE(nullptr, rapi_);
    }

    bool DeviceKey(HKEY root, const char16_t* key) {
        HKEY opened = nullptr;
        if (CeRegOpenKeyEx(rapi_, root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
        CeRegCloseKey(rapi_, opened);
        return true;
    }

    void ExpectInstalled() {
        EXPECT_TRUE(fs::exists(Tree("Program Files/Tessark/tessark.exe")));
        EXPECT_TRUE(fs::exists(Tree("Windows/Start Menu/Programs/Games/Tessark.lnk")));
        EXPECT_TRUE(fs::exists(Tree(kLog)));
        EXPECT_TRUE(DeviceKey(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Tessark"));
        EXPECT_TRUE(DeviceKey(HKEY_CURRENT_USER, u"Software\\Orvane\\Tessark"));
    }

    // Calls a function of the device's uninstaller with wide texts, each with its terminator.
    HRESULT Invoke(const char16_t* function, const std::vector<std::u16string>& texts,
                   std::u16string* answer = nullptr) {
        std::u16string input;
        for (const std::u16string& text : texts)
            input += text + u'\0';
        auto size = static_cast<DWORD>(input.size() * 2);
        auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, size));
        if (size > 0) std::memcpy(block, input.data(), size);
        DWORD outputSize = 0;
        BYTE* output = nullptr;
        std::u16string library = platform::Widen(kUninstaller);
        HRESULT result = CeRapiInvoke(rapi_, library.c_str(), function, size, block, &outputSize,
                                      &output, nullptr, 0);
        if (answer != nullptr && output != nullptr) {
            answer->assign(reinterpret_cast<const char16_t*>(output), outputSize / 2);
        }
        if (output != nullptr) LocalFree(output);
        return result;
    }

    void PlaceHook(const char* probe) {
        fs::copy_file(probe, Tree("Program Files/Tessark/hook.dll"),
                      fs::copy_options::overwrite_existing);
        std::ofstream(Tree(kLog), std::ios::app)
            << "apphook { \"\\Program Files\\Tessark\\hook.dll\" }\n";
    }
};

TEST_F(DeviceUninstallTest, RemoveProgramsVerbUninstallsOnTheDeviceItself) {
    Install();
    if (HasFatalFailure()) return;
    Reconnect();
    ExpectInstalled();
    // The transfer's own temporary file stays, by its design; the uninstall adds none.
    const std::vector<std::string> temporaries = TemporaryFiles();
    ToolRun listed = Cedevice("programs");
    EXPECT_EQ(0, listed.status) << listed.err;
    EXPECT_EQ(std::string("Tessark\t") + kUninstaller + "\n", listed.out);

    ToolRun removed = Cedevice("programs remove tessark");
    ASSERT_EQ(0, removed.status) << removed.err;
    EXPECT_EQ("removed Tessark\n", removed.out);
    EXPECT_FALSE(fs::exists(Tree("Program Files/Tessark")));
    EXPECT_FALSE(fs::exists(Tree("Windows/Start Menu/Programs/Games")));
    EXPECT_FALSE(fs::exists(Tree(kLog)));
    EXPECT_TRUE(fs::exists(Tree("Program Files/Orvane Software/uninstaller.dll")));
    EXPECT_FALSE(DeviceKey(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Tessark"));
    EXPECT_FALSE(DeviceKey(HKEY_CURRENT_USER, u"Software\\Orvane"));
    EXPECT_EQ(temporaries, TemporaryFiles());

    EXPECT_EQ("", Cedevice("programs list").out);
    ToolRun again = Cedevice("programs remove Tessark");
    EXPECT_EQ(1, again.status);
    EXPECT_NE(std::string::npos, again.err.find("no program on the device is named"));
    EXPECT_EQ(2, Cedevice("programs erase Tessark").status);
}

TEST_F(DeviceUninstallTest, HookRefusalThroughEitherRoadChangesNothing) {
    Install();
    if (HasFatalFailure()) return;
    Reconnect();
    PlaceHook(TESSARK_PROBE_REFUSE);
    ToolRun refused = Cedevice("programs remove Tessark");
    EXPECT_EQ(1, refused.status);
    EXPECT_NE(std::string::npos, refused.err.find("refused by its hook")) << refused.err;
    ExpectInstalled();
    EXPECT_TRUE(fs::exists(Tree("Program Files/Tessark/hook.dll")));

    // The desktop's uninstall routine asks the same hook through "ChainAppHook".
    EXPECT_FALSE(setuplib::Uninstall("Tessark", rapi_));
    ExpectInstalled();
    EXPECT_TRUE(fs::exists(Tree("Program Files/Tessark/hook.dll")));

    PlaceHook(TESSARK_PROBE_AGREE);
    EXPECT_TRUE(setuplib::Uninstall("Tessark", rapi_));
    EXPECT_FALSE(fs::exists(Tree("Program Files/Tessark")));
    EXPECT_FALSE(DeviceKey(HKEY_LOCAL_MACHINE, u"Software\\Apps\\Tessark"));
}

TEST_F(DeviceUninstallTest, ExtensionFunctionsCheckTheirInput) {
    Install();
    if (HasFatalFailure()) return;
    Reconnect();
    std::u16string answer;
    EXPECT_EQ(S_OK, Invoke(u"GetUninstallVersion", {}, &answer));
    EXPECT_EQ(std::u16string(u"1", 2), answer);

    fs::copy_file(TESSARK_PROBE_REFUSE, Tree("Program Files/refuse.dll"));
    fs::copy_file(TESSARK_PROBE_AGREE, Tree("Program Files/agree.dll"));
    EXPECT_EQ(31, Invoke(u"ChainAppHook",
                         {u"\\Program Files\\refuse.dll", u"OnUninstallBegin", u"Tessark"}));
    EXPECT_EQ(S_OK, Invoke(u"ChainAppHook",
                           {u"\\Program Files\\agree.dll", u"OnUninstallBegin", u"Tessark"}));
    EXPECT_EQ(static_cast<HRESULT>(ERROR_PROC_NOT_FOUND),
              Invoke(u"ChainAppHook", {u"\\Program Files\\agree.dll", u"Absent", u"Tessark"}));
    EXPECT_EQ(static_cast<HRESULT>(ERROR_MOD_NOT_FOUND),
              Invoke(u"ChainAppHook", {u"\\Program Files\\none.dll", u"OnUninstallBegin", u"T"}));
    const std::vector<std::vector<std::u16string>> badHooks = {
        {},
        {u"\\Program Files\\agree.dll", u"OnUninstallBegin"},
        {u"Program Files\\agree.dll", u"OnUninstallBegin", u"Tessark"},
        {u"\\..\\..\\agree.dll", u"OnUninstallBegin", u"Tessark"},
        {u"C:\\agree.dll", u"OnUninstallBegin", u"Tessark"},
        {u"\\Program Files\\agree.dll", u"On Uninstall", u"Tessark"},
    };
    for (const auto& input : badHooks)
        EXPECT_EQ(static_cast<HRESULT>(ERROR_INVALID_PARAMETER), Invoke(u"ChainAppHook", input));

    // A product name never leads out of the maker folder or the registry key.
    for (const char16_t* product : {u"", u"..\\..\\Tessark", u"Tes/sark", u"..", u"a:b"})
        EXPECT_EQ(static_cast<HRESULT>(ERROR_INVALID_PARAMETER), Invoke(u"Uninstall", {product}));
    EXPECT_EQ(static_cast<HRESULT>(ERROR_FILE_NOT_FOUND), Invoke(u"Uninstall", {u"Other"}));
    ExpectInstalled();
}

} // namespace
