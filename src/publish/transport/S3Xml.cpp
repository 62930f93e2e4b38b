#include "publish/transport/S3Xml.h"

#include <QXmlStreamReader>

namespace transport {

bool ParseS3ListPage(const QByteArray &xml, const QString &prefix, S3ListPage &page)
{
    page = S3ListPage();
    QXmlStreamReader r(xml);
    if (!r.readNextStartElement() || r.name() != QLatin1String("ListBucketResult"))
        return false;
    const auto relative = [&prefix](const QString &key, QString &name) {
        if (!key.startsWith(prefix) || key.size() == prefix.size())
            return false;
        name = key.mid(prefix.size());
        return true;
    };
    while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("IsTruncated")) {
            page.truncated = r.readElementText().trimmed() == QLatin1String("true");
        } else if (r.name() == QLatin1String("NextContinuationToken")) {
            page.nextToken = r.readElementText();
        } else if (r.name() == QLatin1String("Contents")) {
            QString key;
            qint64 size = -1;
            while (r.readNextStartElement()) {
                if (r.name() == QLatin1String("Key"))
                    key = r.readElementText();
                else if (r.name() == QLatin1String("Size"))
                    size = qMax<qint64>(-1, r.readElementText().trimmed().toLongLong());
                else
                    r.skipCurrentElement();
            }
            S3Entry e;
            e.size = size;
            if (relative(key, e.name))
                page.entries << e;
        } else if (r.name() == QLatin1String("CommonPrefixes")) {
            while (r.readNextStartElement()) {
                S3Entry e;
                e.isFolder = true;
                if (r.name() == QLatin1String("Prefix") && relative(r.readElementText(), e.name)) {
                    if (e.name.endsWith(QLatin1Char('/')))
                        e.name.chop(1);
                    page.entries << e;
                } else if (r.tokenType() == QXmlStreamReader::StartElement) {
                    r.skipCurrentElement();
                }
            }
        } else {
            r.skipCurrentElement();
        }
    }
    return !r.hasError();
}

QString S3ListingLines(const QVector<S3Entry> &entries)
{
    QString out;
    for (const S3Entry &e : entries) {
        QString name = e.name;
        name.replace(QLatin1Char('\r'), QChar(1)).replace(QLatin1Char('\n'), QChar(1));
        out += e.isFolder ? QStringLiteral("type=dir; ") : QStringLiteral("type=file;size=%1; ").arg(e.size);
        out += name + QStringLiteral("\r\n");
    }
    return out;
}

S3Error ParseS3Error(const QByteArray &xml)
{
    S3Error e;
    QXmlStreamReader r(xml);
    if (!r.readNextStartElement() || r.name() != QLatin1String("Error"))
        return e;
    while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("Code"))
            e.code = r.readElementText().trimmed();
        else if (r.name() == QLatin1String("Message"))
            e.message = r.readElementText().simplified();
        else
            r.skipCurrentElement();
    }
    return e;
}

QString S3ElementText(const QByteArray &xml, const QString &name)
{
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        if (r.readNext() == QXmlStreamReader::StartElement && r.name() == name)
            return r.readElementText(QXmlStreamReader::SkipChildElements);
    }
    return {};
}

} // namespace transport
