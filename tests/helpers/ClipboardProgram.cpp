// kavo-test-clipboard: prints what the clipboard holds, as a program that
// pastes sees it, and exits.
//
//   kavo-test-clipboard [FORMAT...]
//
// Lines on stdout: "empty" when nobody offers anything; otherwise "format
// NAME" per offered format, "url URL" per URL of its text/uri-list, then per
// FORMAT asked for "data FORMAT BYTES" with the bytes as sent (a backslash
// written as \\, line breaks as \n and \r). Exits with status 0, or 2 when it
// cannot reach an X display.
#include "HelperOutput.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

namespace {

QString escaped(const QByteArray& bytes)
{
    QString out = QString::fromUtf8(bytes);
    out.replace(u'\\', QStringLiteral("\\\\"));
    out.replace(u'\n', QStringLiteral("\\n"));
    out.replace(u'\r', QStringLiteral("\\r"));
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        say(QStringLiteral("error needs the xcb platform"));
        return 2;
    }
    // Another client's clipboard is read on request: each call below asks the
    // owner and waits for its answer.
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    const QStringList formats = data ? data->formats() : QStringList();
    if (formats.isEmpty()) {
        say(QStringLiteral("empty"));
        return 0;
    }
    for (const QString& format : formats)
        say(QStringLiteral("format ") + format);
    for (const QUrl& url : data->urls())
        say(QStringLiteral("url ") + QString::fromUtf8(url.toEncoded()));
    for (const QString& format : app.arguments().mid(1))
        say(QStringLiteral("data ") + format + u' ' + escaped(data->data(format)));
    return 0;
}
