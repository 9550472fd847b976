#include "ui/QtText.h"

#include <QByteArrayView>
#include <QStringDecoder>

#include <array>

namespace ui {
namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; its five unassigned bytes there map to
// the C1 control characters, as Windows itself maps them.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString FromWindows1252(std::string_view bytes) {
    QString text(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (unsigned char byte : bytes) {
        const bool high = byte >= 0x80 && byte <= 0x9F;
        *out++ = QChar(high ? kWindows1252High[byte - 0x80] : char16_t(byte));
    }
    return text;
}

} // namespace

QString ToQString(std::string_view bytes) {
    // Stateless, so that a sequence cut off at the end counts as an error too.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                  QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError())
        return text;
    return FromWindows1252(bytes);
}

std::string ToStdString(const QString& text) { return text.toStdString(); }

} // namespace ui
