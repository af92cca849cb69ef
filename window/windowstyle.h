#pragma once

#include <QProxyStyle>

// The desktop's style, with what a user at the edges of the desktop's settings needs: menus that
// scroll rather than break into columns beyond the screen's edge, and frames that stay whole at a
// fractional scale and visible on a window so dark that the style's own outline would vanish.
class WindowStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
        QStyleHintReturn* returned) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
        const QWidget* widget) const override;
};
