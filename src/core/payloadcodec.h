#pragma once
// Qt face of the payload codec: request fields, reply bodies and data files.

#include "payloadcodeccore.h"

#include <QByteArray>
#include <QString>

class PayloadCodec {
public:
    PayloadCodec();

    void setKey(const QByteArray& key);
    QString encode(const QByteArray& plain) const;
    // Empty when the text cannot be decoded.
    QByteArray decode(const QString& text) const;

    // UTF-8 conveniences for callers that work on text.
    QString encodeText(const QString& plain) const { return encode(plain.toUtf8()); }
    QString decodeText(const QString& text) const { return QString::fromUtf8(decode(text)); }

    static QByteArray defaultKey() { return QByteArray(zq::codec::kDefaultKey); }
    static QByteArray driverKey() { return QByteArray(zq::codec::kDriverKey); }

private:
    zq::codec::Codec m_codec;
};
