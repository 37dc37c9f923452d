#include "platform/X11DirectSave.h"

#include "HelperProcess.h"
#include "TestEnvironment.h"
#include "X11TestSupport.h"

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

// A drop target that receives Direct Save drops the way a shelf does: it
// reads the suggested name, names a file in its folder, then asks the source
// to save there.
class DirectSaveTarget final : public QWidget
{
public:
    explicit DirectSaveTarget(QString folder) : m_folder(std::move(folder))
    {
        setAcceptDrops(true);
        setFixedSize(200, 150);
        move(500, 100);
    }

    bool dropped = false;
    QString suggestedName;
    bool targetSet = false;
    QByteArray answer;
    QString savedPath;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { consider(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { consider(event); }
    void dropEvent(QDropEvent* event) override
    {
        std::unique_ptr<DirectSave> directSave = DirectSave::create();
        suggestedName = directSave->suggestedName();
        savedPath = QDir(m_folder).filePath(QStringLiteral("saved-") + suggestedName);
        targetSet = directSave->setTarget(QUrl::fromLocalFile(savedPath));
        answer = event->mimeData()->data(QStringLiteral("XdndDirectSave0"));
        event->acceptProposedAction();
        dropped = true;
    }

private:
    static void consider(QDropEvent* event)
    {
        if (event->mimeData()->formats().contains(QStringLiteral("XdndDirectSave0")))
            event->acceptProposedAction();
        else
            event->ignore();
    }

    QString m_folder;
};

TEST(DirectSaveX11, TheSourceSavesWhereTheTargetSays)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    DirectSaveTarget target(folder.path());
    target.show();
    ASSERT_TRUE(TestEnv::waitUntil([&] { return target.windowHandle()->isExposed(); }));

    const QString name = QStringLiteral("Bericht über 1.txt");
    const QByteArray content = "saved by the source\n";
    HelperProcess source;
    ASSERT_TRUE(source.start(HelperProcess::dragSourcePath(),
                             {QStringLiteral("--geometry"), QStringLiteral("100,100"),
                              QStringLiteral("--direct-save"), name, QStringLiteral("--content"),
                              QString::fromUtf8(content)}));
    ASSERT_TRUE(source.waitForLine(QStringLiteral("ready "))) << source.errorOutput().toStdString();

    ASSERT_TRUE(xdotool(dragArguments(QPoint(200, 175), QPoint(600, 175))));
    ASSERT_TRUE(TestEnv::waitUntil([&] { return target.dropped; }, 10000));
    EXPECT_TRUE(source.waitForLine(QStringLiteral("offered ")));

    EXPECT_EQ(target.suggestedName, name);
    EXPECT_TRUE(target.targetSet);
    EXPECT_EQ(target.answer, QByteArray("S"));
    EXPECT_EQ(source.waitForLine(QStringLiteral("saved ")),
              QStringLiteral("saved ") + target.savedPath);
    QFile saved(target.savedPath);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), content);
    EXPECT_EQ(source.waitForLine(QStringLiteral("result ")), QStringLiteral("result copy"))
        << source.lines().join(QLatin1Char('|')).toStdString();
}

TEST(DirectSaveX11, OnlyLocalFilesAreTargets)
{
    std::unique_ptr<DirectSave> directSave = DirectSave::create();
    ASSERT_NE(dynamic_cast<X11DirectSave*>(directSave.get()), nullptr);
    EXPECT_FALSE(directSave->setTarget(QUrl(QStringLiteral("https://example.invalid/a.txt"))));
    EXPECT_FALSE(directSave->setTarget(QUrl()));
}

} // namespace
