#include "Startup.h"

#include "app/Constants.h"
#include "app/Log.h"
#include "app/Paths.h"
#include "app/RelayConfig.h"
#include "app/Settings.h"
#include "ui/app/AppContext.h"
#include "ui/common/Icons.h"
#include "ui/shell/MainWindow.h"

#include <QApplication>
#include <QDateTime>
#include <QFontDatabase>
#include <QIcon>
#include <QLibrary>
#include <QMessageBox>
#include <QStyleFactory>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <future>

namespace {

void offerLegacyMigration()
{
    const QString legacy = findLegacyPortableData();
    if (legacy.isEmpty())
        return;
    // The main window sets the icon after its first frame; this question
    // comes before it.
    QApplication::setWindowIcon(appIcon());
    const QString text = QStringLiteral("Found an existing Tolvo install with saved data at:\n\n") + legacy +
                         QStringLiteral("\n\nWould you like to convert it for use with this version?");
    const auto answer = QMessageBox::question(nullptr, QStringLiteral("Old Tolvo data found"), text,
                                              QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
        migrateLegacyPortableData(legacy);
}

// Fontconfig reads its configuration and font caches at first use: some
// milliseconds, more on a desktop with many fonts, and the window's first
// text and icons wait for it. None of it needs the application object, so it
// is done while Qt connects to the display.
std::shared_future<void> warmFontConfiguration()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    return std::async(std::launch::async,
                      [] {
                          using Init = int (*)();
                          if (auto init = reinterpret_cast<Init>(
                                  QLibrary::resolve(QStringLiteral("fontconfig"), 1, "FcInit")))
                              init();
                      })
        .share();
#else
    return {};
#endif
}

// For the start-up benchmark: once the window has painted for the first
// time, print the wall-clock time in milliseconds and quit.
class FirstPaintProbe : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Queued, so the paint has been flushed to the screen by then.
            QTimer::singleShot(0, qApp, []() {
                std::printf("first-paint-ms %lld\n",
                            static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

void reportFirstPaint(QWidget *window)
{
    window->installEventFilter(new FirstPaintProbe(window));
}

} // namespace

int qMain(int argc, char **argv)
{
    // The log lives in the per-user data folder, which is named after the
    // application: name it before the first line is written.
    setApplicationIdentity();
    initLogging();
    const std::shared_future<void> fontConfiguration = warmFontConfiguration();

    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setApplicationName(APP_NAME);
    QApplication::setOrganizationName(APP_ORG);
    QApplication::setApplicationDisplayName(APP_NAME);
    ensureUiResources();
    // The list of installed fonts is read on first use, and the window's
    // first icon and text would wait for it (longer on a desktop with many
    // fonts). Read it, with the icon font, beside the building of the window.
    QThreadPool::globalInstance()->start([fontConfiguration]() {
        if (fontConfiguration.valid())
            fontConfiguration.wait();
        faFontFamily();
        QFontDatabase::families();
    });
    // The launcher's name: the desktop shows its icon and name for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tolvo.Tolvo"));
    // Where the sounds are read from: beside the program in a build folder,
    // under share/tolvo in an installed one. A silent program starts here.
    appLog(QStringLiteral("Sounds from %1").arg(assetPath({QStringLiteral("sounds")})));

    offerLegacyMigration();

    const RelayConfig relay = RelayConfig::builtIn();
    // Both live until the process ends; nothing in them needs a destructor
    // to run at exit (the context's shutdown below does what matters).
    auto *context = new AppContext(relay);
    auto *window = new MainWindow(context);
    if (qEnvironmentVariableIsSet("TOLVO_STARTUP_PROBE"))
        reportFirstPaint(window);
    window->show();

    const int code = app.exec();
    // Closing the window ends the program now, whatever is still in flight.
    context->shutdown();
    return code;
}
