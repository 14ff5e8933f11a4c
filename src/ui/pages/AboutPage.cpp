#include "AboutPage.h"

#include "app/Constants.h"
#include "app/League.h"
#include "ui/common/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

// The code-base figures beside the league count, counted by hand and written
// as lower bounds: the C++ files of the program and its command-line tool
// (.cpp and .h under src/ and cli/: 103), and the test functions of every
// suite under tests/ (what "-functions" lists: 291). Brought up to date when
// the real numbers drift far from them.
const QString SourceFilesFigure = QStringLiteral("100+");
const QString SourceFilesCaption = QStringLiteral("C++ source files");
const QString TestsFigure = QStringLiteral("290+");
const QString TestsCaption = QStringLiteral("automated tests");

} // namespace

AboutPage::AboutPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("AboutPage"));
    ensureUiResources();
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setAccessibleName(QStringLiteral("About Tolvo"));
    scroll->setObjectName(QStringLiteral("ChatScroll"));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);

    auto *content = new QWidget(scroll);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(24, 32, 24, 24);
    layout->setSpacing(10);
    // Items are centred one by one: a layout centred as a whole would size
    // the wrapped description by its one-line hint and cut it off.
    layout->setAlignment(Qt::AlignTop);

    auto *logo = new QLabel(content);
    logo->setObjectName(QStringLiteral("AboutLogo"));
    logo->setPixmap(appLogo(96));
    logo->setAlignment(Qt::AlignCenter);
    layout->addWidget(logo, 0, Qt::AlignHCenter);

    auto *name = new QLabel(APP_NAME, content);
    name->setStyleSheet(QStringLiteral("font-size: 22px; font-weight: 800;"));
    name->setAlignment(Qt::AlignCenter);
    layout->addWidget(name, 0, Qt::AlignHCenter);

    auto *version = new QLabel(QStringLiteral("Version %1 (native C++ build)").arg(APP_VERSION), content);
    version->setObjectName(QStringLiteral("Muted"));
    version->setProperty("role", QStringLiteral("AboutVersion"));
    version->setAlignment(Qt::AlignCenter);
    layout->addWidget(version, 0, Qt::AlignHCenter);
    layout->addSpacing(12);

    auto *description = new QLabel(
        QStringLiteral(
            "Tolvo pulls real fixtures, results and league tables from ESPN and asks OpenAI to break down "
            "the likely result — probabilities, a predicted scoreline, and the key factors behind the "
            "call.\n\nPick a league from the sidebar, or search any “Team1 vs Team2” matchup directly."),
        content);
    description->setObjectName(QStringLiteral("AboutDescription"));
    description->setTextFormat(Qt::PlainText);
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignCenter);
    description->setFixedWidth(440);
    auto *descriptionRow = new QHBoxLayout;
    descriptionRow->addStretch(1);
    descriptionRow->addWidget(description);
    descriptionRow->addStretch(1);
    layout->addLayout(descriptionRow);
    layout->addSpacing(16);

    auto *stats = new QHBoxLayout;
    stats->setSpacing(28);
    stats->addStretch(1);
    stats->addLayout(statColumn(SourceFilesFigure, SourceFilesCaption));
    stats->addLayout(statColumn(TestsFigure, TestsCaption));
    stats->addLayout(statColumn(QString::number(defaultLeagues().size()), QStringLiteral("leagues tracked")));
    stats->addStretch(1);
    layout->addLayout(stats);
    layout->addSpacing(16);

    auto *credits = new QLabel(QStringLiteral("Powered by OpenAI · Fixture data from ESPN\n"
                                              "Built with Qt 6, compiled natively for Windows and Linux"),
                               content);
    credits->setObjectName(QStringLiteral("Muted"));
    credits->setProperty("role", QStringLiteral("AboutCredits"));
    credits->setTextFormat(Qt::PlainText);
    credits->setAlignment(Qt::AlignCenter);
    layout->addWidget(credits, 0, Qt::AlignHCenter);

    scroll->setWidget(content);
}

QVBoxLayout *AboutPage::statColumn(const QString &value, const QString &caption)
{
    auto *column = new QVBoxLayout;
    column->setSpacing(0);
    auto *valueLabel = new QLabel(value);
    valueLabel->setObjectName(QStringLiteral("StatValue"));
    valueLabel->setAlignment(Qt::AlignCenter);
    column->addWidget(valueLabel);
    auto *captionLabel = new QLabel(caption);
    captionLabel->setObjectName(QStringLiteral("Muted"));
    captionLabel->setStyleSheet(QStringLiteral("font-size: 11px;"));
    captionLabel->setAlignment(Qt::AlignCenter);
    column->addWidget(captionLabel);
    return column;
}
