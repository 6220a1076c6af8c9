// mod_Reg against the real registry: each test owns a scratch key under
// HKCU\Software\TamsroveTest, made and removed with the wide registry API.
#include "modules/mod_Reg.h"

#include "base/win32_handles.h"
#include "win32_test_support.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <algorithm>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace tamsrove {
namespace {

using namespace std::string_literals;
using detail::RegCall;

constexpr const wchar_t* kScratchParent = L"Software\\TamsroveTest";

using test::RegCallLog;
using test::SeenCall;

// Each test owns a scratch key named after the process and the test, removed before and after.
class RegistryTest : public testing::Test {
protected:
    static std::wstring ScratchKey() {
        const char* test = testing::UnitTest::GetInstance()->current_test_info()->name();
        return std::wstring(kScratchParent) + L"\\" + std::to_wstring(::GetCurrentProcessId()) +
               L"_" + std::wstring(test, test + std::char_traits<char>::length(test));
    }
    void SetUp() override {
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, key_.put(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        key_.reset();
        scope_.Key().Remove();
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kScratchParent); // fails while other runs use it
    }

    [[nodiscard]] std::wstring Path() const { return L"HKEY_CURRENT_USER\\" + subKey_; }

    void SetRaw(const wchar_t* name, DWORD type, const void* data, std::size_t bytes) const {
        ASSERT_TRUE(scope_.Key().SetRaw(name, type, data, bytes));
    }
    // Stores text as REG_SZ counting exactly its characters (add L"\0"s for a terminator).
    void SetText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) const {
        SetRaw(name, type, text.data(), text.size() * sizeof(wchar_t));
    }
    [[nodiscard]] std::optional<std::wstring> StoredText(const wchar_t* name) const {
        const auto stored = scope_.Key().Read(name);
        return stored ? std::optional(std::wstring(stored->Text().c_str())) : std::nullopt;
    }
    [[nodiscard]] std::optional<std::wstring> Read(const wchar_t* name) const {
        return RegReadValue(Path(), name);
    }

    test::UserKeyScope scope_{ScratchKey()};
    const std::wstring& subKey_ = scope_.Key().sub_key;
    unique_hkey key_;
};

// --- RegSplitRoot ----------------------------------------------------------------------------

TEST(RegSplitRootTest, RecognisesEachRootByItsFullName) {
    struct Case {
        std::wstring path;
        HKEY root;
        std::wstring rest;
    };
    const std::vector<Case> cases = {
        {L"HKEY_LOCAL_MACHINE\\Software\\A", HKEY_LOCAL_MACHINE, L"Software\\A"},
        {L"HKEY_CLASSES_ROOT\\.txt", HKEY_CLASSES_ROOT, L".txt"},
        {L"HKEY_CURRENT_USER\\Software\\Marrowfen", HKEY_CURRENT_USER, L"Software\\Marrowfen"},
        {L"HKEY_USERS\\.DEFAULT", HKEY_USERS, L".DEFAULT"},
        {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER, L""},
        {L"HKEY_USERS", HKEY_USERS, L""},
        {L"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.path));
        std::wstring path = c.path;
        EXPECT_EQ(RegSplitRoot(path), c.root);
        EXPECT_EQ(path, c.rest);
    }
}

TEST(RegSplitRootTest, AnythingButAFullRootNameMatchesNothing) {
    // A root is recognised by its whole name before a backslash or the end, never by a prefix
    // such as its first 8 characters, and never on a short path.
    const std::vector<std::wstring> cases = {
        L"HKEY_CURRENT_CONFIG\\Software",
        L"HKEY_CUR\\x",
        L"HKEY_CUR",
        L"HKEY_USERSX\\a",
        L"HKEY_LOC",
        L"",
        L"H",
        L"\\",
        L"hkey_current_user\\Software",
        L"Hkey_Users\\.DEFAULT",
        L" HKEY_USERS\\a",
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c));
        std::wstring path = c;
        EXPECT_EQ(RegSplitRoot(path), nullptr);
        EXPECT_EQ(path, c);
    }
}

// --- Reading -----------------------------------------------------------------------------------

TEST_F(RegistryTest, ReadsTextUpToItsFirstNul) {
    // A REG_SZ read never passes the terminating NUL, or anything after it, to the caller.
    struct Case {
        std::wstring stored;
        std::wstring read;
    };
    const std::vector<Case> cases = {{L"1\0"s, L"1"}, {L"abc", L"abc"}, {L"ab\0cd\0"s, L"ab"},
                                     {L"", L""},      {L"\0"s, L""},    {L"1 done\0"s, L"1 done"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.stored));
        SetText(L"v", c.stored);
        EXPECT_EQ(Read(L"v"), c.read);
    }
}

TEST_F(RegistryTest, ValuesOfOtherTypesReadAsEmpty) {
    const DWORD one = 1;
    SetRaw(L"dword", REG_DWORD, &one, sizeof one);
    SetText(L"expand", L"1\0"s, REG_EXPAND_SZ);
    SetText(L"multi", L"1\0\0"s, REG_MULTI_SZ);
    SetRaw(L"binary", REG_BINARY, "1", 1);
    SetRaw(L"none", REG_NONE, "1", 1);
    for (const wchar_t* name : {L"dword", L"expand", L"multi", L"binary", L"none"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        EXPECT_EQ(Read(name), std::nullopt);
    }
}

TEST_F(RegistryTest, MissingValueOrKeyReadsAsEmptyWithoutBeepAndIsNeverCreated) {
    for (const std::wstring& below : {std::wstring(), std::wstring(L"\\Missing")}) {
        SCOPED_TRACE(test::Narrow(below));
        RegCallLog log;
        EXPECT_EQ(RegReadValue(Path() + below, L"frx"), std::nullopt);
        RegWriteValue(Path() + below, L"frx", L"0");
        EXPECT_EQ(log.Count(RegCall::Beep), 0U);
        EXPECT_EQ(log.Count(RegCall::SetValue), 0U);
        EXPECT_EQ(StoredText(L"frx"), std::nullopt);
        EXPECT_FALSE(test::UserKey{subKey_ + L"\\Missing"}.Exists());
    }
}

TEST_F(RegistryTest, UnrecognisedRootIsNeverOpened) {
    SetText(L"frx", L"1");
    RegCallLog log;
    std::wstring path = L"HKEY_CUR\\" + subKey_;
    EXPECT_EQ(RegReadValue(path, L"frx"), std::nullopt);
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(path, L"HKEY_CUR\\" + subKey_);
}

TEST_F(RegistryTest, ReadShortensThePathItIsHanded) {
    std::wstring path = Path();
    static_cast<void>(RegReadValue(path, L"frx"));
    EXPECT_EQ(path, subKey_);
}

TEST_F(RegistryTest, ReadOpensTheSubKeyForQueryingOnly) {
    SetText(L"frx", L"1");
    RegCallLog log;
    EXPECT_EQ(Read(L"frx"), L"1");
    const auto opens = log.Of(RegCall::OpenKey);
    ASSERT_EQ(opens.size(), 1U);
    EXPECT_EQ(opens[0].key, HKEY_CURRENT_USER);
    EXPECT_EQ(opens[0].name, std::string(subKey_.begin(), subKey_.end()));
    EXPECT_EQ(opens[0].access, static_cast<REGSAM>(KEY_QUERY_VALUE));
}

TEST_F(RegistryTest, OneMebibyteValueReadsWhole) {
    std::wstring big(1U << 20U, L'\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<wchar_t>(L'a' + i % 26);
    }
    SetText(L"big", big + L"\0"s);
    EXPECT_EQ(Read(L"big"), big);
}

TEST_F(RegistryTest, ValueThatGrewBetweenTheQueriesIsReadWhole) {
    SetText(L"frx", L"1");
    RegCallLog log;
    bool grown = false;
    log.on_call = [&](const SeenCall& r) {
        if (r.call == RegCall::QueryValue && !r.with_data && !grown) {
            grown = true;
            SetText(L"frx", L"1 and a much longer text than before\0"s);
        }
    };
    EXPECT_EQ(Read(L"frx"), L"1 and a much longer text than before");
}

TEST_F(RegistryTest, ValueThatKeepsGrowingGivesUpAsEmpty) {
    SetText(L"frx", L"1");
    RegCallLog log;
    std::wstring text = L"1";
    log.on_call = [&](const SeenCall& r) {
        if (r.call == RegCall::QueryValue) {
            text += std::wstring(64, L'x');
            SetText(L"frx", text);
        }
    };
    EXPECT_EQ(Read(L"frx"), std::nullopt);
    EXPECT_LE(log.Count(RegCall::QueryValue), 8U);
    EXPECT_EQ(log.Count(RegCall::CloseKey), 1U);
}

TEST_F(RegistryTest, ValueReplacedByANumberBetweenTheQueriesReadsAsEmpty) {
    SetText(L"frx", L"1");
    RegCallLog log;
    log.on_call = [&](const SeenCall& r) {
        if (r.call == RegCall::QueryValue && !r.with_data) {
            const DWORD one = 1;
            SetRaw(L"frx", REG_DWORD, &one, sizeof one);
        }
    };
    EXPECT_EQ(Read(L"frx"), std::nullopt);
}

TEST_F(RegistryTest, RunTimeFailureInsideTheQueryBeepsAndReadsAsEmpty) {
    SetText(L"frx", L"1");
    RegCallLog log;
    log.on_call = [](const SeenCall& r) {
        if (r.call == RegCall::QueryValue && r.with_data) {
            throw std::bad_alloc();
        }
    };
    EXPECT_EQ(Read(L"frx"), std::nullopt);
    EXPECT_EQ(log.Count(RegCall::Beep), 1U);
    EXPECT_EQ(log.Count(RegCall::CloseKey), 1U);
}

TEST_F(RegistryTest, EveryKeyThatOpenedIsClosedAndNoRootEver) {
    // Each successful open is matched by one close, and a predefined root is never closed,
    // also when the path names the root itself.
    SetText(L"frx", L"1");
    const std::wstring root_value = L"TamsroveTest_" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_EQ(::RegSetValueExW(HKEY_CURRENT_USER, root_value.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(L"at root"), 16),
              ERROR_SUCCESS);
    RegCallLog log;
    EXPECT_EQ(Read(L"frx"), L"1");
    EXPECT_EQ(Read(L"missing"), std::nullopt);
    EXPECT_EQ(RegReadValue(L"HKEY_CURRENT_USER", root_value), L"at root");
    RegWriteValue(Path(), L"frx", L"0");
    RegWriteValue(Path(), L"missing", L"0");
    ::RegDeleteValueW(HKEY_CURRENT_USER, root_value.c_str());

    std::vector<HKEY> owned;
    for (const SeenCall& open : log.Of(RegCall::OpenKey)) {
        if (open.status == ERROR_SUCCESS && open.opened != HKEY_CURRENT_USER) {
            owned.push_back(open.opened);
        }
    }
    std::vector<HKEY> closed;
    for (const SeenCall& close : log.Of(RegCall::CloseKey)) {
        closed.push_back(close.key);
        EXPECT_EQ(close.status, ERROR_SUCCESS);
    }
    EXPECT_EQ(log.Count(RegCall::OpenKey), 6U);
    std::sort(owned.begin(), owned.end());
    std::sort(closed.begin(), closed.end());
    EXPECT_EQ(closed, owned);
    EXPECT_EQ(std::count(closed.begin(), closed.end(), HKEY_CURRENT_USER), 0);
}

// --- Writing -----------------------------------------------------------------------------------

TEST_F(RegistryTest, ZeroIsWrittenAsREG_SZWithDataLengthOne) {
    SetText(L"frx", L"1\0"s);
    RegCallLog log;
    RegWriteValue(Path(), L"frx", L"0");
    const auto sets = log.Of(RegCall::SetValue);
    ASSERT_EQ(sets.size(), 1U);
    EXPECT_EQ(sets[0].type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(sets[0].data_length, 1U);
    EXPECT_EQ(sets[0].status, ERROR_SUCCESS);
    EXPECT_EQ(StoredText(L"frx"), L"0");
}

TEST_F(RegistryTest, WriteOpensForSettingOnly) {
    SetText(L"frx", L"1");
    RegCallLog log;
    RegWriteValue(Path(), L"frx", L"0");
    // The existence check opens for querying alone, the write itself for setting alone.
    const auto opens = log.Of(RegCall::OpenKey);
    ASSERT_EQ(opens.size(), 2U);
    EXPECT_EQ(opens[0].access, static_cast<REGSAM>(KEY_QUERY_VALUE));
    EXPECT_EQ(opens[1].access, static_cast<REGSAM>(KEY_SET_VALUE));
}

TEST_F(RegistryTest, ValueReadableButNotWritableKeepsItsText) {
    SetText(L"frx", L"1");
    PSECURITY_DESCRIPTOR read_only = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &read_only, nullptr));
    const LSTATUS secured = ::RegSetKeySecurity(key_.get(), DACL_SECURITY_INFORMATION, read_only);
    ::LocalFree(read_only);
    ASSERT_EQ(secured, ERROR_SUCCESS);

    RegCallLog log;
    EXPECT_EQ(Read(L"frx"), L"1");
    RegWriteValue(Path(), L"frx", L"0");
    EXPECT_EQ(Read(L"frx"), L"1");
    const auto opens = log.Of(RegCall::OpenKey);
    ASSERT_FALSE(opens.empty());
    EXPECT_EQ(opens.back().access, static_cast<REGSAM>(KEY_QUERY_VALUE));
}

// --- Text through the ANSI code page -----------------------------------------------------------

TEST_F(RegistryTest, TextTheCodePageHoldsRoundTrips) {
    const std::wstring cafe = L"Caf\u00E9";
    BOOL lossy = FALSE;
    const bool utf8 = ::GetACP() == CP_UTF8;
    ::WideCharToMultiByte(CP_ACP, 0, cafe.c_str(), -1, nullptr, 0, nullptr,
                          utf8 ? nullptr : &lossy);
    if (lossy) {
        GTEST_SKIP() << "code page " << ::GetACP() << " has no e with acute accent";
    }
    SetText(cafe.c_str(), L"1");
    RegWriteValue(Path(), cafe, cafe);
    EXPECT_EQ(StoredText(cafe.c_str()), cafe);
    EXPECT_EQ(Read(cafe.c_str()), cafe);

    unique_hkey child;
    ASSERT_EQ(::RegCreateKeyExW(key_.get(), cafe.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                child.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(child.get(), L"frx", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"),
                               sizeof(L"1")),
              ERROR_SUCCESS);
    EXPECT_EQ(RegReadValue(Path() + L"\\" + cafe, L"frx"), L"1");
}

TEST_F(RegistryTest, TextTheCodePageCannotHoldIsNeverSent) {
    // Text without an exact ANSI form is refused: a substituted "?" would store other data
    // or address another key or value.
    SetText(L"frx", L"1");
    const std::vector<std::wstring> strange = {L"\xD800", L"\x10D0\x10D0", L"x\xD800y"};
    for (const std::wstring& text : strange) {
        SCOPED_TRACE(testing::PrintToString(text));
        RegWriteValue(Path(), L"frx", text);
        EXPECT_EQ(StoredText(L"frx"), L"1");
        EXPECT_EQ(Read(text.c_str()), std::nullopt);
        EXPECT_EQ(RegReadValue(Path() + L"\\" + text, L"frx"), std::nullopt);
    }
}

TEST_F(RegistryTest, NameIsNeverCutShortAtAnEmbeddedNul) {
    // "frx" followed by a NUL and more is another name than "frx": it must not reach "frx".
    SetText(L"frx", L"1");
    const std::wstring name = L"frx\0more"s;
    RegWriteValue(Path(), name, L"0");
    EXPECT_EQ(RegReadValue(Path(), name), std::nullopt);
    EXPECT_EQ(StoredText(L"frx"), L"1");
}

// --- The yield after reading -------------------------------------------------------------------

class YieldTest : public RegistryTest {
protected:
    static constexpr UINT kProbe = WM_APP + 7;

    void SetUp() override {
        RegistryTest::SetUp();
        const wchar_t* const class_name = L"TamsroveRegYieldProbe";
        ASSERT_TRUE(test::EnsureTestClass(class_name, &ProbeProc));
        window_.reset(::CreateWindowExW(0, class_name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        ::GetModuleHandleW(nullptr), nullptr));
        ASSERT_TRUE(window_);
        seen_dispatches = nullptr;
    }

    static LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == kProbe && seen_dispatches != nullptr) {
            seen_dispatches->push_back(log_so_far != nullptr ? log_so_far->calls.size() : 0U);
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }

    static inline std::vector<std::size_t>* seen_dispatches = nullptr;
    static inline RegCallLog* log_so_far = nullptr;
    unique_hwnd window_;
};

TEST_F(YieldTest, PendingEventsRunAfterTheKeyIsClosed) {
    // No window handler runs while the read holds an open key.
    SetText(L"frx", L"1");
    std::vector<std::size_t> dispatched;
    RegCallLog log;
    seen_dispatches = &dispatched;
    log_so_far = &log;
    ASSERT_TRUE(::PostMessageW(window_.get(), kProbe, 0, 0));
    EXPECT_EQ(Read(L"frx"), L"1");
    seen_dispatches = nullptr;
    log_so_far = nullptr;
    ASSERT_EQ(dispatched.size(), 1U);
    ASSERT_FALSE(log.calls.empty());
    EXPECT_EQ(dispatched[0], log.calls.size());
    EXPECT_EQ(log.calls.back().call, RegCall::CloseKey);
}

TEST_F(YieldTest, QuitRequestSurvivesTheYield) {
    std::vector<std::size_t> dispatched;
    seen_dispatches = &dispatched;
    ASSERT_TRUE(::PostMessageW(window_.get(), kProbe, 0, 0));
    ::PostQuitMessage(1460);
    EXPECT_EQ(Read(L"frx"), std::nullopt);
    seen_dispatches = nullptr;
    EXPECT_EQ(dispatched.size(), 1U);
    MSG message{};
    ASSERT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 1460U);
}

// --- The typed routines on an open key ---------------------------------------------------------

TEST_F(RegistryTest, TypedRoutinesRefuseAKeyThatDidNotOpen) {
    RegCallLog log;
    std::optional<std::wstring> value = L"kept";
    EXPECT_EQ(RegQueryTyped(nullptr, L"frx", value), ERROR_INVALID_HANDLE);
    EXPECT_EQ(value, L"kept");
    EXPECT_EQ(RegSetTyped(nullptr, L"frx", REG_SZ, RegData{L"0"}), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(RegistryTest, SetTypedWritesTextsAndNumbersOnly) {
    EXPECT_EQ(RegSetTyped(key_.get(), L"n", REG_DWORD, RegData{DWORD{7}}), ERROR_SUCCESS);
    DWORD number = 0;
    DWORD size = sizeof number;
    EXPECT_EQ(::RegQueryValueExW(key_.get(), L"n", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(number, 7U);

    EXPECT_EQ(RegSetTyped(key_.get(), L"b", REG_BINARY, RegData{L"1"}), ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(RegSetTyped(key_.get(), L"s", REG_SZ, RegData{DWORD{1}}), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(StoredText(L"b"), std::nullopt);
    EXPECT_EQ(StoredText(L"s"), std::nullopt);
}

TEST_F(RegistryTest, QueryTypedLeavesTheValueAloneForOtherTypes) {
    const DWORD one = 1;
    SetRaw(L"n", REG_DWORD, &one, sizeof one);
    std::optional<std::wstring> value = L"kept";
    EXPECT_EQ(RegQueryTyped(key_.get(), L"n", value), ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(value, L"kept");
}

} // namespace
} // namespace tamsrove
