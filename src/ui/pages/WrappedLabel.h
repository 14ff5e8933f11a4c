#pragma once

#include <QLabel>

#include <array>
#include <utility>

// A word-wrapped label that remembers its height for the last few widths.
// Layouts ask a wrapped label for its height at a given width again and
// again, and QLabel lays its text out anew every time: with a long list of
// such labels that is most of the cost of showing the list.
class WrappedLabel : public QLabel
{
public:
    explicit WrappedLabel(QWidget *parent = nullptr);

    void setText(const QString &text);
    int heightForWidth(int width) const override;

protected:
    void changeEvent(QEvent *event) override;

private:
    void forget();

    // (width, height) pairs, most recent first; width -1 is empty.
    mutable std::array<std::pair<int, int>, 4> m_heights;
};
