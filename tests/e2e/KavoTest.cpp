#include "KavoTest.h"

#include "HelperProcess.h"
#include "PointerScript.h"
#include "TestEnvironment.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

constexpr int shelfWidth = 216;
constexpr int shelfHeight = 244;
constexpr int screenMargin = 8;
constexpr int headerHeight = 36;
constexpr int footerHeight = 50;

} // namespace

void KavoTest::SetUp()
{
    ASSERT_TRUE(m_kavo.isValid());
    ASSERT_TRUE(m_display.isValid());
    PointerScript::resetInput();
    m_kavo.setPreference(QStringLiteral("hasLaunchedBefore"), true);
}

void KavoTest::TearDown()
{
    PointerScript::resetInput();
    // Whatever the test did, the program must still be there.
    if (m_kavo.wasStarted()) {
        EXPECT_TRUE(m_kavo.isRunning()) << "kavo ended: " << m_kavo.programErrors().toStdString();
    }
}

::testing::AssertionResult KavoTest::startKavo()
{
    if (m_kavo.start())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "kavo did not answer --list: " << m_kavo.programErrors().toStdString();
}

::testing::AssertionResult startHelper(HelperProcess& helper, const QString& program, QPoint at,
                                       const QStringList& arguments)
{
    const QString position = QStringLiteral("%1,%2").arg(at.x()).arg(at.y());
    if (!helper.start(program, QStringList{QStringLiteral("--geometry"), position} + arguments))
        return ::testing::AssertionFailure() << "cannot start " << program.toStdString();
    if (!helper.waitForLine(QStringLiteral("ready ")))
        return ::testing::AssertionFailure()
               << program.toStdString()
               << " never came up: " << helper.lines().join(u'|').toStdString() << ' '
               << helper.errorOutput().toStdString();
    return ::testing::AssertionSuccess();
}

QString KavoTest::makeFile(const QString& name, const QByteArray& content)
{
    const QString path = m_kavo.root() + QStringLiteral("/files/") + name;
    EXPECT_TRUE(TestEnv::writeFile(path, content));
    return path;
}

QRect KavoTest::placed(QPointF p, bool anchorTop)
{
    const QRectF v = QRectF(QGuiApplication::primaryScreen()->availableGeometry())
                         .adjusted(screenMargin, screenMargin, -screenMargin, -screenMargin);
    qreal x = p.x() - shelfWidth / 2.0;
    qreal y = anchorTop ? p.y() : p.y() - shelfHeight / 2.0;
    x = std::min(std::max(x, v.left()), v.left() + v.width() - shelfWidth);
    y = std::max(std::min(y, v.top() + v.height() - shelfHeight), v.top());
    return QRect(int(std::lround(x)), int(std::lround(y)), shelfWidth, shelfHeight);
}

QPoint KavoTest::stackCentre(const QRect& frame)
{
    const int stackHeight = frame.height() - headerHeight - footerHeight;
    return QPoint(frame.x() + frame.width() / 2, frame.y() + headerHeight + stackHeight / 2);
}
