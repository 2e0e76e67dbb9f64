// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

namespace morvale::ui {

// One line of plain text, cut with an ellipsis when the line is too short for
// it. It asks for the room of the whole text but accepts any width. Assistive
// technology reads the whole text.
class ElidedLabel final : public QWidget {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }
    // The text as drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

// A short text whose digits all take the same width, so that a changing number
// neither jitters nor moves what stands beside it (the font's own digits may
// differ in width). Aligned to the right of its box.
class DigitsLabel final : public QWidget {
    Q_OBJECT
public:
    explicit DigitsLabel(QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }

    // The width the text takes, with every digit as wide as the widest one.
    int textWidth(const QString& text) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString text_;
};

}  // namespace morvale::ui
