#include "Cp1252.h"

#include "platform/Cp1252.h"

namespace vantor {

QString DecodeCp1252(std::string_view bytes) {
    QString out;
    out.resize(qsizetype(bytes.size()));
    QChar* dst = out.data();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        dst[i] = QChar(char16_t(cp1252::Decode(static_cast<unsigned char>(bytes[i]))));
    return out;
}

std::optional<std::string> EncodeCp1252(const QString& text) {
    std::string out;
    out.reserve(std::size_t(text.size()));
    for (QChar c : text) {
        const auto byte = cp1252::Encode(c.unicode());
        if (!byte) return std::nullopt;
        out.push_back(char(*byte));
    }
    return out;
}

}  // namespace vantor
