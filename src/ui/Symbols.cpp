// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Symbols.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <algorithm>
#include <memory>

namespace morvale::ui {

namespace {

QString resourcePath(const QString& name) {
    return QStringLiteral(":/symbols/%1.svg").arg(name);
}

// The drawing with every "currentColor" replaced by color, so that it renders
// in that colour; the shipped files use currentColor as desktop themes expect
// of symbolic icons.
QByteArray tinted(const QString& name, const QColor& color) {
    QFile file(resourcePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray svg = file.readAll();
    const QByteArray rgb = color.name(QColor::HexRgb).toLatin1();
    svg.replace("currentColor", rgb);
    if (color.alpha() != 255) {
        // Opacity for the whole drawing, so that overlapping parts do not add up.
        svg.replace("<svg ", QByteArray("<svg opacity=\"") +
                                 QByteArray::number(color.alphaF(), 'f', 3) + "\" ");
    }
    return svg;
}

class SymbolIconEngine final : public QIconEngine {
public:
    SymbolIconEngine(QByteArray svg, QString themeName, const QByteArray& outlineSvg)
        : svg_(std::move(svg)),
          renderer_(std::make_shared<QSvgRenderer>(svg_)),
          themeName_(std::move(themeName)) {
        if (!outlineSvg.isEmpty()) {
            outline_ = std::make_shared<QSvgRenderer>(outlineSvg);
        }
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        if (mode == QIcon::Disabled) {
            painter->save();
            painter->setOpacity(painter->opacity() * 0.4);
        }
        if (outline_) {
            // The drawing in the outline colour, shifted by about a pixel of a
            // 22-pixel tray icon in each of eight directions, under the drawing.
            constexpr QPoint directions[] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0},
                                             {1, 0},   {-1, 1}, {0, 1},  {1, 1}};
            const qreal d = std::max(0.75, rect.width() / 22.0);
            for (const QPoint& direction : directions) {
                outline_->render(painter, QRectF(rect).translated(direction.toPointF() * d));
            }
        }
        renderer_->render(painter, QRectF(rect));
        if (mode == QIcon::Disabled) {
            painter->restore();
        }
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            paint(&painter, QRect(QPoint(0, 0), pixmap.size()), mode, state);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

    // Tray hosts that take pixmaps pick from these.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}};
    }

    QString iconName() override { return themeName_; }
    QString key() const override { return QStringLiteral("MorvaleSymbol"); }
    QIconEngine* clone() const override { return new SymbolIconEngine(*this); }
    bool isNull() override { return svg_.isEmpty(); }

private:
    QByteArray svg_;
    std::shared_ptr<QSvgRenderer> renderer_;  // parsed once, shared by copies
    std::shared_ptr<QSvgRenderer> outline_;
    QString themeName_;
};

}  // namespace

bool hasSymbol(const QString& name) {
    return QFile::exists(resourcePath(name));
}

QIcon symbolIcon(const QString& name, const QColor& color, const QString& themeName,
                 const QColor& outline) {
    QByteArray svg = tinted(name, color);
    if (svg.isEmpty()) {
        return {};
    }
    return QIcon(new SymbolIconEngine(std::move(svg), themeName,
                                      outline.isValid() ? tinted(name, outline) : QByteArray()));
}

}  // namespace morvale::ui
