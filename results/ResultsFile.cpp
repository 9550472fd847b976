#include "results/ResultsFile.h"

#include "platform/AtomicFile.h"
#include "platform/IniFile.h"
#include "platform/InputFile.h"

#include <new>
#include <string_view>
#include <vector>

namespace results {
namespace {

using platform::IniFile;

std::string SectionName(int position) {
    return "item" + std::to_string(position);
}

// A caption as one line of the names list: tab, line feed, carriage return and backslash
// escaped as TSV escapes them, other control characters as \xHH.
void AppendNamesListLine(std::string &text, const std::string &caption) {
    static const char digits[] = "0123456789abcdef";
    for (char c : caption) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t')
            text += "\\t";
        else if (c == '\n')
            text += "\\n";
        else if (c == '\r')
            text += "\\r";
        else if (c == '\\')
            text += "\\\\";
        else if (byte < 0x20 || byte == 0x7F)
            text += {'\\', 'x', digits[byte >> 4], digits[byte & 15]};
        else
            text += c;
    }
    text += '\n';
}

} // namespace

void LoadResultsFile(const std::string &path, ResultList &list) {
    const ResultListUpdate batch(list);
    list.Clear();
    try {
        platform::InputFile file(path, MaxResultsFileBytes);
        ResultsFileReader reader(list);
        std::vector<char> buffer(1 << 16);
        while (const std::size_t got = file.Read(buffer.data(), buffer.size()))
            reader.Feed({buffer.data(), got});
        reader.Finish(path);
    } catch (const platform::EFileMissing &failure) {
        throw EResultsFileMissing(failure.Attempt(), failure.Path(), failure.Reason());
    } catch (const platform::EFileTooLarge &failure) {
        throw EResultsFileTooLarge(failure.Attempt(), failure.Path(), failure.Reason());
    } catch (const platform::EFileReadError &failure) {
        throw EResultsFileNotReadable(failure.Attempt(), failure.Path(), failure.Reason());
    } catch (const std::bad_alloc &) {
        // The rows go first, so that the message and whatever follows have memory again.
        list.Clear();
        throw EResultsFileOutOfMemory("cannot load", path, "not enough memory");
    }
}

void ReadResultsFile(const std::string &path, ResultList &list) {
    try {
        LoadResultsFile(path, list);
    } catch (const EResultsFileError &) {
        // Reading is silent; the rows read so far stay.
    }
}

void WriteResultsText(const ResultList &list, const std::function<void(std::string_view)> &write) {
    std::string piece;
    piece.reserve(kResultsTextPiece);
    for (int k = 0; k < list.Count(); ++k) {
        const ResultRow &row = *list.Row(k);
        // The layout of IniFile::Text: sections apart by a blank line, values encoded its way.
        if (k > 0)
            piece += '\n';
        piece += '[';
        piece += SectionName(k);
        piece += "]\n";
        for (int c = 0; c < list.ColumnCount(); ++c) {
            piece += list.GetColumns().At(c).fileKey;
            piece += '=';
            piece += IniFile::EncodeValue(row.Cell(c).value_or(std::string_view()));
            piece += '\n';
        }
        piece += row.Checked() ? "check=1\n" : "check=0\n";
        if (piece.size() >= kResultsTextPiece) {
            write(piece);
            piece.clear();
        }
    }
    if (!piece.empty())
        write(piece);
}

std::string ResultsFileText(const ResultList &list) {
    std::string text;
    WriteResultsText(list, [&text](std::string_view piece) { text += piece; });
    return text;
}

void WriteResultsFile(const std::string &path, const ResultList &list) {
    platform::FileReplacement file(path);
    WriteResultsText(list, [&file](std::string_view piece) { file.Write(piece); });
    file.Commit();
}

void WriteNamesList(const std::string &path, const ResultList &list) {
    platform::FileReplacement file(path);
    std::string piece;
    for (int k = 0; k < list.Count(); ++k) {
        AppendNamesListLine(piece, list.Row(k)->Caption());
        if (piece.size() >= kResultsTextPiece) {
            file.Write(piece);
            piece.clear();
        }
    }
    file.Write(piece);
    file.Commit();
}

} // namespace results
