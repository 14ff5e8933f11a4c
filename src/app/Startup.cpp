#include "Startup.h"

#include "Constants.h"
#include "Log.h"
#include "RelayConfig.h"
#include "Settings.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QStyleFactory>
#include <QWidget>

namespace {

void offerLegacyMigration()
{
    const QString legacy = findLegacyPortableData();
    if (legacy.isEmpty())
        return;
    const QString text = QStringLiteral("Found an existing Tolvo install with saved data at:\n\n") + legacy
                         + QStringLiteral("\n\nWould you like to convert it for use with this version?");
    const auto answer = QMessageBox::question(nullptr, QStringLiteral("Old Tolvo data found"), text,
                                              QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
        migrateLegacyPortableData(legacy);
}

} // namespace

int qMain(int argc, char **argv)
{
    // The log lives in the per-user data folder, which is named after the
    // application: name it before the first line is written.
    setApplicationIdentity();
    initLogging();

    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setApplicationName(APP_NAME);
    QApplication::setOrganizationName(APP_ORG);
    QApplication::setApplicationDisplayName(APP_NAME);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/tolvo_256.png")));
    QGuiApplication::setDesktopFileName(QStringLiteral("tolvo"));

    offerLegacyMigration();

    const RelayConfig relay = RelayConfig::builtIn();
    Q_UNUSED(relay);

    // Stand-in until the main window exists; it lives as long as the process.
    auto *window = new QWidget;
    window->setWindowTitle(APP_NAME);
    window->resize(1200, 780);
    window->show();

    return app.exec();
}
