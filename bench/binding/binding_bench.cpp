// Times DBIToTextBox and TextBoxToDBI on a real multi-line EDIT control against the single
// WM_SETTEXT / WM_GETTEXT that moves the same text, in the same run. Each is the median of
// several runs; the program ends with 1 when an operation takes more than 3 times its
// reference at any size.
//
// Usage: binding_bench [runs]   (default 9)
#include "tamsrove/cls_DBI.h"
#include "tamsrove/win32_controls.h"
#include "base/win32_handles.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double AllowedRatio = 3.0;
constexpr int DefaultRuns = 9;
constexpr int32_t LineCounts[] = {10'000, 100'000};

/// A typical log-like line of about 50 characters.
std::u16string LineText(int32_t index) {
    const std::string digits = std::to_string(index);
    return u"Line " + std::u16string(digits.begin(), digits.end()) +
           u": component file copied to the target folder";
}

cls_DBI StoreOfLines(int32_t count) {
    cls_DBI store;
    for (int32_t i = 0; i < count; ++i) {
        store.AddLineEnd(LineText(i));
    }
    return store;
}

std::u16string JoinedText(const cls_DBI& store) {
    std::u16string text;
    for (auto it = store.begin(); it != store.end(); ++it) {
        if (it != store.begin()) {
            text += u"\r\n";
        }
        text += *it;
    }
    return text;
}

template <typename Work> double Milliseconds(Work&& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const std::size_t mid = samples.size() / 2;
    return samples.size() % 2 == 1 ? samples[mid] : (samples[mid - 1] + samples[mid]) / 2;
}

void SetEditText(HWND edit, const std::u16string& text) {
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

/// What a caller does to read the whole text itself: ask the length, size a buffer, read.
std::u16string GetEditText(HWND edit) {
    const LRESULT length = ::SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
    std::u16string text(static_cast<std::size_t>(length), u'\0');
    const LRESULT copied = ::SendMessageW(edit, WM_GETTEXT, static_cast<WPARAM>(length + 1),
                                          reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

struct Samples {
    std::vector<double> setText, toTextBox, getText, fromTextBox;
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::exit(2);
}

/// One run of the four timings; fails loudly when an operation's result is wrong.
void RunOnce(HWND edit, const cls_DBI& store, const std::u16string& joined, Samples& samples) {
    tamsrove::Win32TextBox box(edit);

    // Writing: both start from an empty box.
    SetEditText(edit, u"");
    samples.setText.push_back(Milliseconds([&] { SetEditText(edit, joined); }));
    SetEditText(edit, u"");
    samples.toTextBox.push_back(Milliseconds([&] { store.DBIToTextBox(box); }));
    if (box.Text() != joined) {
        Fail("DBIToTextBox gave a different text");
    }

    // Reading: each starts with no copy of the text alive, so both find the heap in the same
    // state (a copy still held would make the second reader take fresh pages).
    {
        std::u16string read;
        samples.getText.push_back(Milliseconds([&] { read = GetEditText(edit); }));
        if (read != joined) {
            Fail("WM_GETTEXT gave a different text");
        }
    }
    cls_DBI back;
    samples.fromTextBox.push_back(Milliseconds([&] { back.TextBoxToDBI(box); }));
    if (back.LinesNumber() != store.LinesNumber() ||
        back.GetLine(back.LinesNumber()) != store.GetLine(store.LinesNumber())) {
        Fail("TextBoxToDBI gave different lines");
    }
}

/// Prints one row; returns whether the operation's median stayed within the allowed ratio of its
/// reference's median. The minimums are shown too: on a busy machine they are the runs that
/// were least disturbed by other processes.
bool Report(const char* operation, int32_t lines, const std::vector<double>& subject,
            const std::vector<double>& reference) {
    const double ratio = Median(subject) / Median(reference);
    const double minRatio = *std::min_element(subject.begin(), subject.end()) /
                            *std::min_element(reference.begin(), reference.end());
    const bool within = ratio <= AllowedRatio;
    std::printf("%-13s %7d lines  median %8.2f ms / %8.2f ms = %5.2f   min ratio %5.2f  %s\n",
                operation, lines, Median(subject), Median(reference), ratio, minRatio,
                within ? "ok" : "OVER 3x");
    return within;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : DefaultRuns;
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const tamsrove::unique_hwnd parent(::CreateWindowExW(0, L"STATIC", L"binding bench",
                                                         WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                                         nullptr, nullptr, instance, nullptr));
    if (!parent) {
        std::fprintf(stderr, "no window: error %lu\n", ::GetLastError());
        return 2;
    }
    // Destroyed with its parent.
    HWND edit =
        ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, 0,
                          0, 600, 400, parent.get(), nullptr, instance, nullptr);
    if (edit == nullptr) {
        std::fprintf(stderr, "no edit control: error %lu\n", ::GetLastError());
        return 2;
    }
    // The typing limit does not bind WM_SETTEXT; lifted so that the box is usable at this size.
    ::SendMessageW(edit, EM_SETLIMITTEXT, 0 /* largest */, 0);

    std::printf("%d runs each; operation / reference (one WM_SETTEXT or WM_GETTEXT of the same "
                "text)\n",
                runs);
    bool within = true;
    for (const int32_t lines : LineCounts) {
        const cls_DBI store = StoreOfLines(lines);
        const std::u16string joined = JoinedText(store);
        Samples warmUp; // the first run pays for the heap's first growth; not counted
        RunOnce(edit, store, joined, warmUp);
        Samples samples;
        for (int run = 0; run < runs; ++run) {
            RunOnce(edit, store, joined, samples);
        }
        const bool toBox = Report("DBIToTextBox", lines, samples.toTextBox, samples.setText);
        const bool fromBox = Report("TextBoxToDBI", lines, samples.fromTextBox, samples.getText);
        within = within && toBox && fromBox;
    }
    return within ? 0 : 1;
}
