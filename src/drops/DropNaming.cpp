#include "drops/DropNaming.h"

#include <QTextBoundaryFinder>

namespace DropNaming {
namespace {

bool isNewline(QChar c)
{
    switch (c.unicode()) {
    case 0x000A:
    case 0x000B:
    case 0x000C:
    case 0x000D:
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

// The first piece of `text` between newline characters that is not empty;
// only scans as far as it has to (a dropped text may be megabytes long).
QString firstLine(const QString& text)
{
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start < n) {
        while (start < n && isNewline(text[start]))
            ++start;
        qsizetype end = start;
        while (end < n && !isNewline(text[end]))
            ++end;
        if (end > start)
            return text.mid(start, end - start);
        start = end;
    }
    return {};
}

// The first `count` user-perceived characters (grapheme clusters).
QString leftGraphemes(const QString& s, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    qsizetype pos = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return s;
        pos = next;
    }
    return s.left(pos);
}

QString trimSpacesAndTabs(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == u'\t'))
        ++b;
    while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t'))
        --e;
    return s.mid(b, e - b);
}

// Characters that cannot stand in a file name: the path separator and NUL
// (which would cut the name short when it reaches the system).
QString withoutSeparators(QString s)
{
    s.replace(u'/', u'-');
    s.remove(QChar(0));
    return s;
}

} // namespace

QString fitName(const QString& stem, const QString& suffix)
{
    const qsizetype budget = maxNameBytes - suffix.toUtf8().size();
    if (stem.toUtf8().size() <= budget)
        return stem + suffix;
    // Drop whole characters from the end until the name fits.
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, stem);
    qsizetype fits = 0;
    qsizetype bytes = 0;
    qsizetype prev = 0;
    for (qsizetype next = finder.toNextBoundary(); next >= 0; next = finder.toNextBoundary()) {
        bytes += stem.mid(prev, next - prev).toUtf8().size();
        if (bytes > budget)
            break;
        fits = next;
        prev = next;
    }
    return stem.left(fits) + suffix;
}

QString textFileName(const QString& text)
{
    QString line = firstLine(text);
    if (line.isEmpty())
        line = QStringLiteral("Text");
    QString name = trimSpacesAndTabs(withoutSeparators(leftGraphemes(line, 32)));
    if (name.isEmpty())
        name = QStringLiteral("Text");
    return fitName(name, QStringLiteral(".txt"));
}

QString linkFileName(const QUrl& url)
{
    QString host = withoutSeparators(url.host());
    if (host.isEmpty() || host == u"." || host == u"..")
        host = QStringLiteral("Link");
    return fitName(host, QStringLiteral(".webloc"));
}

QByteArray weblocData(const QUrl& url)
{
    const QString link = QString::fromUtf8(url.toEncoded()).toHtmlEscaped();
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                             "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                             "<plist version=\"1.0\">\n"
                             "<dict>\n"
                             "\t<key>URL</key>\n"
                             "\t<string>") +
           link.toUtf8() +
           QByteArrayLiteral("</string>\n"
                             "</dict>\n"
                             "</plist>\n");
}

QString plainFileName(const QString& suggested, const QString& fallback)
{
    QString name = suggested;
    name.remove(QChar(0));
    const qsizetype slash = name.lastIndexOf(u'/');
    if (slash >= 0)
        name = name.mid(slash + 1);
    name = name.trimmed();
    if (name.isEmpty() || name == u"." || name == u"..")
        name = fallback;
    // Keep the extension when the name must be shortened.
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString suffix = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QString();
    return fitName(name.left(name.size() - suffix.size()), suffix);
}

} // namespace DropNaming
