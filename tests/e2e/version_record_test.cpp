// The program file's version record, as Explorer's properties and installers read it: file and
// product version 1.0.0.0, both shown as "1.00", product name "Tamsrove". The record is generated
// from the build's version; this guards what the generation must give.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "driver.h"

namespace {

namespace e2e = tamsrove::e2e;

/// The high word of a version's number pair: major 1 in the high word, minor 0 in the low one.
constexpr DWORD kOnePointZero = 0x00010000;

/// The version record of the built program; empty when it has none.
std::vector<BYTE> ProgramVersionRecord() {
    const std::wstring path = e2e::ProgramPath();
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> record(size);
    if (size == 0 ||
        ::GetFileVersionInfoW(path.c_str(), 0 /* ignored */, size, record.data()) == 0) {
        record.clear();
    }
    return record;
}

/// A text of the record's US English, Unicode string table; "(none)" when it is missing.
std::wstring RecordText(std::vector<BYTE>& record, const std::wstring& name) {
    const std::wstring query = L"\\StringFileInfo\\040904b0\\" + name;
    void* value = nullptr;
    UINT length = 0;
    if (::VerQueryValueW(record.data(), query.c_str(), &value, &length) == 0 || value == nullptr) {
        return L"(none)";
    }
    // length counts characters, with the terminating NUL when the record has one.
    const auto* text = static_cast<const wchar_t*>(value);
    return {text, std::find(text, text + length, L'\0')};
}

TEST(VersionRecord, NumbersAreOnePointZeroPointZeroPointZero) {
    std::vector<BYTE> record = ProgramVersionRecord();
    ASSERT_FALSE(record.empty()) << "no version record";
    void* value = nullptr;
    UINT length = 0;
    ASSERT_NE(::VerQueryValueW(record.data(), L"\\", &value, &length), 0);
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, kOnePointZero);
    EXPECT_EQ(fixed->dwFileVersionLS, 0U);
    EXPECT_EQ(fixed->dwProductVersionMS, kOnePointZero);
    EXPECT_EQ(fixed->dwProductVersionLS, 0U);
}

TEST(VersionRecord, TextsShowTheVersionAndTheProductName) {
    std::vector<BYTE> record = ProgramVersionRecord();
    ASSERT_FALSE(record.empty()) << "no version record";
    const struct {
        const wchar_t* name;
        const wchar_t* text;
    } expected[] = {
        {L"FileVersion", L"1.00"},
        {L"ProductVersion", L"1.00"},
        {L"ProductName", L"Tamsrove"},
    };
    for (const auto& row : expected) {
        SCOPED_TRACE(testing::Message() << "value " << std::wstring(row.name));
        EXPECT_EQ(RecordText(record, row.name), row.text);
    }
}

} // namespace
