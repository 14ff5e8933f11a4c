#pragma once

#include <QDialog>
#include <QString>

// The frameless "Update available" dialog offered after the start-up check.
// It keeps its own dark look whatever the application theme is.
class UpdatePrompt : public QDialog
{
    Q_OBJECT

public:
    UpdatePrompt(QWidget *parent, const QString &version);

    // Shows the prompt modally; true when the user chose "Update now".
    static bool ask(QWidget *parent, const QString &version);
};
