#include "UiText.h"

#include <QStringDecoder>

#include "widgets/Cp1252.h"

namespace vantor {

QString FromCoreText(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError()) return text;
    return DecodeCp1252(bytes);
}

std::string ToCorePath(const QString& path) { return path.toLocal8Bit().toStdString(); }

}  // namespace vantor
