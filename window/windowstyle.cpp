#include "window/windowstyle.h"

#include <QPaintDevice>
#include <QPainter>
#include <QStyleOption>
#include <cmath>

int WindowStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
    QStyleHintReturn* returned) const
{
    if (hint == SH_Menu_Scrollable)
        return true;
    return QProxyStyle::styleHint(hint, option, widget, returned);
}

void WindowStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
    QPainter* painter, const QWidget* widget) const
{
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (element != PE_FrameLineEdit && element != PE_Frame)
        return;
    // The style's outline is a shade darker than the window, which on a black one is black.
    constexpr int darkest = 48;
    const QColor window = option->palette.color(QPalette::Window);
    const bool dark = window.lightness() < darkest;
    // At a fractional device pixel ratio, the right and bottom lines fall between device pixels.
    const qreal ratio = painter->device()->devicePixelRatioF();
    const bool fractional = ratio != std::floor(ratio);
    if (!dark && !fractional)
        return;
    painter->save();
    painter->setPen(QPen(dark ? option->palette.color(QPalette::Text) : window.darker(140), 0));
    painter->setBrush(Qt::NoBrush);
    // Each line through the middle of the outermost whole device pixel.
    const qreal half = 0.5 / ratio;
    painter->drawRect(QRectF(option->rect).adjusted(half, half, -half, -half));
    painter->restore();
}
