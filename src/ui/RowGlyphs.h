// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QWidget>

namespace morvale::ui {

// An application's picture, stretched to fill the widget's square exactly
// whatever its own size or shape, drawn at an opacity.
class AppIconView final : public QWidget {
    Q_OBJECT
public:
    explicit AppIconView(QWidget* parent = nullptr);

    void setIcon(const QIcon& icon);
    void setOpacity(qreal opacity);
    qreal opacity() const { return opacity_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QIcon icon_;
    qreal opacity_ = 1.0;
};

// A filled circle in the widget's text colour.
class Dot final : public QWidget {
    Q_OBJECT
public:
    explicit Dot(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace morvale::ui
