// Fuzzes the line store through a program of operations read from the input: line operations,
// packing and unpacking. Every step is run on cls_DBI and on a literal model (one slot per
// line, lines shifted one at a time, strings cut and copied), and the two must agree on the
// lines, the error text, the caller's variables and whether the step raised.
#include "tamsrove/cls_DBI.h"
#include "fuzz_bytes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

const std::u16string CrLf = u"\r\n";

/// The store as first written: the loops of the operations, literally, with every index
/// checked before anything changes.
struct ModelStore {
    std::vector<std::u16string> lines{u""};
    std::u16string error;

    [[nodiscard]] int64_t Last() const { return static_cast<int64_t>(lines.size()) - 1; }

    static void CheckIndex(int64_t index, int64_t highest) {
        if (index < 0 || index > highest) {
            throw std::out_of_range("model");
        }
    }

    void AddLineEnd(const std::u16string& line) {
        if (Last() == 0 && lines[0].empty()) {
            lines[0] = line;
            return;
        }
        lines.push_back(line);
    }

    void SetLine(const std::u16string& line, int64_t index) {
        CheckIndex(index, Last());
        lines[static_cast<std::size_t>(index)] = line;
    }

    void InsertLine(const std::u16string& line, int64_t index) {
        const bool emptyStore = Last() == 0 && lines[0].empty();
        CheckIndex(index, emptyStore ? 0 : Last() + 1);
        AddLineEnd(u"");
        for (int64_t k = Last(); k > index; --k) {
            lines[static_cast<std::size_t>(k)] = lines[static_cast<std::size_t>(k - 1)];
        }
        lines[static_cast<std::size_t>(index)] = line;
    }

    void RemoveLine(int64_t index) {
        CheckIndex(index, Last());
        if (index == 0 && Last() == 0) {
            lines[0].clear();
            error = u"Last Line Cleared!";
            return;
        }
        for (int64_t k = index; k < Last(); ++k) {
            lines[static_cast<std::size_t>(k)] = lines[static_cast<std::size_t>(k + 1)];
        }
        lines.pop_back();
    }

    void RemoveAllLines() {
        const int64_t n = Last();
        for (int64_t i = 0; i <= n; ++i) {
            RemoveLine(0);
        }
    }

    void Clear(const std::u16string& trash) {
        for (std::u16string& line : lines) {
            line = trash;
        }
    }

    std::u16string DBIToMetaString(std::u16string& delimiter) const {
        if (delimiter.empty()) {
            delimiter = CrLf;
        }
        std::u16string packed;
        for (const std::u16string& line : lines) {
            packed += line;
            packed += delimiter;
        }
        return packed;
    }

    void MetaStringToDBI(std::u16string& data, std::u16string& delimiter) {
        if (delimiter.empty()) {
            delimiter = CrLf;
        }
        for (std::size_t at = data.find(delimiter); at != std::u16string::npos;
             at = data.find(delimiter)) {
            const std::u16string piece = data.substr(0, at);
            data = data.substr(data.size() - (data.size() - delimiter.size() - piece.size()));
            AddLineEnd(piece);
        }
    }
};

void CheckSame(const cls_DBI& store, const ModelStore& model) {
    Check(store.LinesNumber() == model.Last());
    Check(std::vector<std::u16string>(store.begin(), store.end()) == model.lines);
    Check(store.ErrorCode() == model.error);
}

/// Runs one step on both and checks that both raise the same kind of error, or neither.
template <typename OnStore, typename OnModel> void Both(OnStore on_store, OnModel on_model) {
    int storeOutcome = 0;
    int modelOutcome = 0;
    try {
        on_store();
    } catch (const std::out_of_range&) {
        storeOutcome = 1;
    } catch (const std::invalid_argument&) {
        storeOutcome = 2;
    }
    try {
        on_model();
    } catch (const std::out_of_range&) {
        modelOutcome = 1;
    }
    Check(storeOutcome == modelOutcome);
}

/// Packs the store and unpacks the pack into a new store: the lines come back, but for leading
/// empty lines, whenever no line holds a character of the delimiter (a delimiter then cannot
/// start inside a line nor reach across one).
void CheckRoundTrip(cls_DBI& store, std::u16string delimiter) {
    const std::u16string packed = store.DBIToMetaString(delimiter);
    std::vector<std::u16string> lines(store.begin(), store.end());
    for (const std::u16string& line : lines) {
        if (line.find_first_of(delimiter) != std::u16string::npos) {
            return;
        }
    }
    std::size_t leading = 0;
    while (leading + 1 < lines.size() && lines[leading].empty()) {
        ++leading;
    }
    cls_DBI unpacked;
    std::u16string data = packed;
    unpacked.MetaStringToDBI(data, delimiter);
    Check(data.empty());
    Check(std::vector<std::u16string>(unpacked.begin(), unpacked.end()) ==
          std::vector<std::u16string>(lines.begin() + static_cast<std::ptrdiff_t>(leading),
                                      lines.end()));
}

void Step(fuzzing::FuzzBytes& in, cls_DBI& store, ModelStore& model) {
    switch (in.Below(10)) {
    case 0:
    case 1: {
        const std::u16string line = in.Text(4);
        Both([&] { store.AddLineEnd(line); }, [&] { model.AddLineEnd(line); });
        break;
    }
    case 2: {
        const std::u16string line = in.Text(4);
        const int32_t index = in.SmallIndex(24);
        Both([&] { store.InsertLine(line, index); }, [&] { model.InsertLine(line, index); });
        break;
    }
    case 3: {
        const std::u16string line = in.Text(4);
        const int32_t index = in.SmallIndex(24);
        Both([&] { store.SetLine(line, index); }, [&] { model.SetLine(line, index); });
        break;
    }
    case 4: {
        const int32_t index = in.Flag() ? in.AnyInt32() : in.SmallIndex(24);
        Both([&] { store.RemoveLine(index); }, [&] { model.RemoveLine(index); });
        std::u16string line;
        Both([&] { line = store.GetLine(index); },
             [&] { ModelStore::CheckIndex(index, model.Last()); });
        break;
    }
    case 5: {
        if (in.Flag()) {
            store.RemoveAllLines();
            model.RemoveAllLines();
        } else {
            const std::u16string trash = in.Text(2);
            store.Clear(trash);
            model.Clear(trash);
        }
        break;
    }
    case 6: {
        std::u16string delimiter = in.Text(3);
        std::u16string modelDelimiter = delimiter;
        Check(store.DBIToMetaString(delimiter) == model.DBIToMetaString(modelDelimiter));
        Check(delimiter == modelDelimiter);
        break;
    }
    case 7: {
        // Move the store away and back: the moved-from store is a new one.
        cls_DBI moved(std::move(store));
        // NOLINTNEXTLINE(bugprone-use-after-move,clang-analyzer-cplusplus.Move): defined state
        Check(store.LinesNumber() == 0 && store.GetLine(0).empty() && store.ErrorCode().empty());
        store = std::move(moved);
        break;
    }
    case 8:
        CheckRoundTrip(store, in.Text(3));
        break;
    default: {
        std::u16string delimiter = in.Text(3);
        std::u16string data = in.Text(64);
        std::u16string modelDelimiter = delimiter;
        std::u16string modelData = data;
        store.MetaStringToDBI(data, delimiter);
        model.MetaStringToDBI(modelData, modelDelimiter);
        Check(data == modelData && delimiter == modelDelimiter);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::FuzzBytes in(data, size);
    cls_DBI store;
    ModelStore model;
    for (int steps = 0; steps < 64 && !in.Done(); ++steps) {
        Step(in, store, model);
        CheckSame(store, model);
    }
    return 0;
}
