#include "support/WavBytes.h"

#include <QFile>

namespace mt::test {

QByteArray Le16(std::int32_t value) {
    QByteArray b(2, '\0');
    b[0] = static_cast<char>(value & 0xff);
    b[1] = static_cast<char>((value >> 8) & 0xff);
    return b;
}

QByteArray Le32(std::int64_t value) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return b;
}

QByteArray Chunk(const char* id, std::int64_t declaredSize, const QByteArray& body) {
    QByteArray b = QByteArray(id, 4) + Le32(declaredSize) + body;
    if (body.size() % 2 != 0) {
        b += '\0';
    }
    return b;
}

QByteArray Chunk(const char* id, const QByteArray& body) {
    return Chunk(id, body.size(), body);
}

QByteArray FmtBody(int formatTag, int channels, int rate, int bits, int extraBytes) {
    const int blockAlign = channels * bits / 8;
    QByteArray b = Le16(formatTag) + Le16(channels) + Le32(rate) +
                   Le32(std::int64_t{rate} * blockAlign) + Le16(blockAlign) + Le16(bits);
    if (extraBytes > 0) {
        b += Le16(extraBytes - 2) + QByteArray(extraBytes - 2, '\0');
    }
    return b;
}

QByteArray PcmWav(int channels, int rate, int bits, int dataBytes) {
    QByteArray data(dataBytes, '\0');
    for (int i = 0; i < dataBytes; ++i) {
        data[i] = static_cast<char>(i * 7);
    }
    const QByteArray body =
        QByteArray("WAVE") + Chunk("fmt ", FmtBody(1, channels, rate, bits)) + Chunk("data", data);
    return Chunk("RIFF", body);
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace mt::test
