// One line store operation per process, so that /usr/bin/time sees its wall time and peak memory:
//   linestore_driver load   IN       FileToDBI
//   linestore_driver save   IN OUT   DBIToFile (mode 0) of IN's lines, loaded first
//   linestore_driver pack   IN       DBIToMetaString of IN's lines, loaded first
//   linestore_driver unpack IN       MetaStringToDBI of IN's whole text (read with FTS first)
//   linestore_driver ftsstf IN OUT   FTS of IN, then STF (mode 0) of that text to OUT
// Prints "op_ms=... added_peak_kib=... held_kib=..." for the timed operation alone (like the
// floors, it keeps its result: freeing it is not part of the operation), then
// "lines=N text_kib=T", T being the size of the lines' UTF-16 characters.
#include "tamsrove/cls_DBI.h"
#include "proc_stats.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

std::u16string Widen(std::string_view path) {
    return {path.begin(), path.end()}; // the scratch paths are ASCII
}

bool Failed(const cls_DBI& store, const char* what) {
    if (store.ErrorCode().empty()) {
        return false;
    }
    std::fprintf(stderr, "%s failed\n", what);
    return true;
}

int Usage() {
    std::fputs("usage: linestore_driver load|pack|unpack IN | save|ftsstf IN OUT\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using linestore_bench::TimeAndReport;
    if (argc < 3) {
        return Usage();
    }
    const std::string_view mode = argv[1];
    const std::u16string in = Widen(argv[2]);
    const std::u16string out = argc > 3 ? Widen(argv[3]) : std::u16string();
    cls_DBI store;
    if (mode == "load") {
        TimeAndReport([&] { store.FileToDBI(std::u16string(in)); });
    } else if (mode == "save" && !out.empty()) {
        store.FileToDBI(std::u16string(in));
        TimeAndReport([&] { store.DBIToFile(std::u16string(out), 0); });
    } else if (mode == "pack") {
        store.FileToDBI(std::u16string(in));
        std::u16string packed;
        TimeAndReport([&] { packed = store.DBIToMetaString(); });
        std::fprintf(stderr, "packed=%zu\n", packed.size());
    } else if (mode == "unpack") {
        std::u16string text = store.FTS(std::u16string(in));
        TimeAndReport([&] { store.MetaStringToDBI(text); });
    } else if (mode == "ftsstf" && !out.empty()) {
        std::u16string text;
        TimeAndReport([&] {
            text = store.FTS(std::u16string(in));
            store.STF(text, std::u16string(out), 0);
        });
    } else {
        return Usage();
    }
    if (Failed(store, argv[1])) {
        return 1;
    }
    std::size_t units = 0;
    for (const std::u16string& line : store) {
        units += line.size();
    }
    std::printf("lines=%d text_kib=%zu\n", store.LinesNumber() + 1, units * 2 / 1024);
    return 0;
}
