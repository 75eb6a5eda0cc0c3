#include "payloadcodec.h"

PayloadCodec::PayloadCodec() = default;

void PayloadCodec::setKey(const QByteArray& key)
{
    m_codec.setKey(key.toStdString());
}

QString PayloadCodec::encode(const QByteArray& plain) const
{
    return QString::fromLatin1(QByteArray::fromStdString(m_codec.encode(plain.toStdString())));
}

QByteArray PayloadCodec::decode(const QString& text) const
{
    return QByteArray::fromStdString(m_codec.decode(text.toLatin1().toStdString()));
}
