// Replacing saves where Windows differs: other handles on the target, with their share modes.
#include "classes/platform/platform.h"

#include "../store_test_support.h"
#include "scratch_folder.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

using namespace scratch;
using namespace store_test;

namespace platform = tamsrove::platform;

// A handle that allows writing does not stop the save (it rewrites in place where the handle
// stops a rename); one that denies writing does, and the file stays as it was.
TEST(SaveWin32, TargetHeldOpenIsSavedUnlessTheHolderDeniesWriting) {
    struct Case {
        const char* what;
        DWORD share;
        bool saved;
    };
    const Case cases[] = {
        {"read and write", FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {"read, write and delete", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
        {"read only", FILE_SHARE_READ, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder scratch;
        const fs::path target = scratch.Path() / "t";
        WriteBytes(target, "old content");
        {
            const HANDLE holder = ::CreateFileW(target.c_str(), GENERIC_READ, c.share, nullptr,
                                                OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(holder, INVALID_HANDLE_VALUE);
            bool saved = true;
            try {
                store_test::SaveBytes(target, "new");
            } catch (const std::system_error&) {
                saved = false;
            }
            ::CloseHandle(holder);
            EXPECT_EQ(saved, c.saved);
        }
        EXPECT_EQ(ReadBytes(target), c.saved ? "new" : "old content");
        EXPECT_EQ(scratch.Names(), NameList({"t"}));
    }
}

// The DACL of a file by name, as SDDL (its entries only); empty when it cannot be read.
std::wstring DaclOf(const fs::path& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return {};
    }
    LPWSTR text = nullptr;
    std::wstring sddl;
    if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        sddl = text;
        ::LocalFree(text);
    }
    ::LocalFree(descriptor);
    return sddl;
}

constexpr auto kNpos = std::wstring::npos;

// Gives the file a protected DACL from SDDL.
bool SetDacl(const fs::path& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
        return false;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    std::wstring name = path.wstring();
    const DWORD result =
        ::SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, dacl, nullptr);
    ::LocalFree(descriptor);
    return result == ERROR_SUCCESS;
}

// New content is no more open than the target: the temporary file takes the target's own DACL,
// or, for a new file, one that grants the current user alone, never the folder's inherited one
// (Wine keeps a DACL as Unix permission bits, so only who may open the file can be compared).
TEST(SaveWin32, TemporaryTakesTheTargetsAccessOrTheUsersAlone) {
    for (const bool target_exists : {true, false}) {
        SCOPED_TRACE(target_exists ? "existing file" : "new file");
        ScratchFolder scratch;
        const fs::path target = scratch.Path() / "t";
        // The folder lets everyone in; the target (when there is one) only its owner.
        ASSERT_TRUE(SetDacl(scratch.Path(), L"D:P(A;OICI;FA;;;WD)"));
        if (target_exists) {
            WriteBytes(target, "old");
            ASSERT_TRUE(SetDacl(target, L"D:P(A;;FA;;;OW)"));
        }
        // Wine shows a DACL that the file's permission bits allow: compare with what it shows.
        const bool everyone_reads = target_exists && DaclOf(target).find(L";;;WD)") != kNpos;
        auto file = platform::OutputFile::Replace(target.u16string());
        file.Write("new", 3);
        const std::vector<std::string> temporaries = store_test::SaveFilesOf(scratch.Path(), "t");
        ASSERT_EQ(temporaries.size(), 1U);
        const std::wstring dacl = DaclOf(scratch.Path() / temporaries[0]);
        EXPECT_NE(dacl, L"");
        EXPECT_EQ(dacl.find(L";;;WD)") != kNpos, everyone_reads) << dacl;
        file.Commit();
    }
}

} // namespace
