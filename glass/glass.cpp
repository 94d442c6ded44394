#include "glass.h"

#include "glassbackend_p.h"
#include "sharedrecord_p.h"
#include "glowtext_p.h"

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPainter>

namespace {

// The glowing texts kept for repainting go with the record they were drawn
// for.
void destroyBackend(GlassBackend *backend)
{
    delete backend;
    dropGlowTexts();
}

SharedRecord<GlassBackend> s_api(createGlassBackend, destroyBackend);
QColor s_bkColor;

} // namespace

Glass::Glass()
{
    s_api.acquire();
}

Glass::Glass(const Glass &)
{
    s_api.acquire();
}

Glass::~Glass()
{
    s_api.release();
}

Glass &Glass::operator=(const Glass &)
{
    return *this;
}

bool Glass::IsCompositionEnabled()
{
    return s_api.record()->isCompositionEnabled();
}

void Glass::SetGlass(WId hwnd, GLASS_MODE mode)
{
    s_api.record()->setGlass(hwnd, mode);
}

void Glass::SetTopmost(WId hwnd, bool topmost)
{
    s_api.record()->setTopmost(hwnd, topmost);
}

void Glass::SetTransparent(WId hwnd, bool topmost, bool transparent)
{
    s_api.record()->setTransparent(hwnd, topmost, transparent);
}

bool Glass::IsSupported(GLASS_FEATURE feature)
{
    return s_api.record()->isSupported(feature);
}

void Glass::DrawString(QLabel *label, QPaintEvent *event)
{
    DrawString(label, label->text(), event);
}

void Glass::DrawString(QCheckBox *checkBox, QPaintEvent *event)
{
    DrawString(checkBox, checkBox->text(), event);
}

void Glass::SetBkColor(QColor color)
{
    s_bkColor = color;
}

void Glass::DrawString(QWidget *widget, const QString &text, QPaintEvent *)
{
    const QSize area = widget->size() + QSize(2 * GlowMargin, 2 * GlowMargin);
    const qreal ratio = widget->devicePixelRatioF();
    QImage image(area * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(s_bkColor.isValid() ? s_bkColor : QColor(Qt::transparent));

    const QRect box = glowTextBox(widget->size()).translated(GlowMargin, GlowMargin).toRect();
    if (!s_api.record()->drawGlowText(image, box, text, widget->font()))
        return;

    // The image replaces what lies beneath, alpha included: nothing blends.
    QPainter painter(widget);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPoint(-GlowMargin, -GlowMargin), image);
}
