// Feeds arbitrary bytes to the results-file reader, cut into pieces as the first byte says. Every
// outcome must be rows or ENotAResultsFile; and rows written out and read back must come back
// the same. Anything else (a crash, a leak, undefined behaviour, a foreign exception, a changed
// row) is a finding.
#include "results/ResultsFile.h"
#include "results/ResultsFileReader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::string> Snapshot(const results::ResultList &list) {
    std::vector<std::string> rows;
    for (int i = 0; i < list.Count(); ++i) {
        const results::ResultRow &row = *list.Row(i);
        std::string line = row.Caption();
        for (int s = 0; s < row.SubItemCount(); ++s)
            line += '\0' + std::string(*row.SubItem(s));
        rows.push_back(line + (row.Checked() ? "\0+" : "\0-"));
    }
    return rows;
}

void Read(std::string_view text, std::size_t piece, results::ResultList &list) {
    results::ResultsFileReader reader(list);
    for (std::size_t at = 0; at < text.size(); at += piece)
        reader.Feed(text.substr(at, piece));
    reader.Finish("fuzz.nbr");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t piece = data[0] % 16 == 0 ? size : data[0] % 16;
    const std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);
    results::ResultList list;
    try {
        Read(text, piece, list);
    } catch (const results::ENotAResultsFile &) {
        if (list.Count() != 0)
            __builtin_trap();
        return 0;
    }
    if (data[0] & 0x80)
        list.SortByColumn(data[0] % list.ColumnCount());
    results::ResultList back;
    Read(results::ResultsFileText(list), 1 << 12, back);
    if (Snapshot(back) != Snapshot(list))
        __builtin_trap();
    return 0;
}
