// The window modes of the bottom row and the tray: glass, always on top,
// click-through and opacity.
#include "widget.h"

#include "glass.h"
#include "qglasscheckbox.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QSlider>

void Widget::toggleAeroGlass()
{
    const Qt::CheckState state = glassCheck->checkState();
    const GlassStep step = state == Qt::Checked            ? GlassStep::Sheet
            : state == Qt::PartiallyChecked ? GlassStep::Blur
                                            : GlassStep::Off;
    setupFile->change([step](Setup &s) { s.glass = step; });
    if (!glass->IsCompositionEnabled())
        return;

    switch (state) {
    case Qt::Unchecked:
        setAttribute(Qt::WA_NoSystemBackground, false);
        glass->SetGlass(winId(), GLASS_NONE);
        break;
    case Qt::PartiallyChecked:
        setAttribute(Qt::WA_NoSystemBackground, false);
        glass->SetGlass(winId(), GLASS_BLURBEHIND);
        break;
    case Qt::Checked:
        setAttribute(Qt::WA_NoSystemBackground, true);
        glass->SetGlass(winId(), GLASS_SHEET);
        break;
    }
    setBackground(glassColor());
    repaint();
}

// The window's background in the current glass step: its normal colour, or
// white that is half or fully transparent.
QColor Widget::glassColor() const
{
    switch (glassCheck ? glassCheck->checkState() : Qt::Unchecked) {
    case Qt::PartiallyChecked:
        return QColor(255, 255, 255, 127);
    case Qt::Checked:
        return QColor(255, 255, 255, 0);
    case Qt::Unchecked:
        break;
    }
    return QApplication::palette().color(backgroundRole());
}

// The colour goes into the palette, which the controls draw their frames
// from, and behind the glowing texts.
void Widget::setBackground(const QColor &color)
{
    QPalette background = palette();
    background.setColor(backgroundRole(), color);
    setPalette(background);
    Glass::SetBkColor(color);
}

// A translucent step without a compositor would leave the window and the
// controls' frames unreadable, so the window takes its normal colours until
// composition returns, and then its glass again.
void Widget::compositionChanged()
{
    if (glassCheck && glassCheck->checkState() != Qt::Unchecked) {
        setBackground(compositedAtLastTick ? glassColor()
                                           : QApplication::palette().color(backgroundRole()));
    }
    update();
}

void Widget::toggleTopmost()
{
    const bool topmost = topmostCheck->isChecked();
    setupFile->change([topmost](Setup &s) { s.topmost = topmost; });
    glass->SetTopmost(winId(), topmost);
}

void Widget::toggleTransparent()
{
    if (showTransparentNotice) {
        QMessageBox notice(QMessageBox::Information, QStringLiteral("확인"),
                           QStringLiteral("마우스 동작을 무시하는 투명 윈도우 모드로 실행합니다.\n"
                                          "트레이 메뉴에서 '투명 윈도우' 항목을 다시 선택 하시면 해제됩니다."),
                           QMessageBox::Ok, this);
        notice.setDefaultButton(QMessageBox::Ok);
        // Closing the notice must not end the program, also when it is the
        // only window shown because the clock sits in the tray.
        notice.setAttribute(Qt::WA_QuitOnClose, false);
        notice.exec();
        showTransparentNotice = false;
    }

    const bool transparent = transparentAction->isChecked();
    setupFile->change([transparent](Setup &s) { s.clickThrough = transparent; });
    showWindow();
    glass->SetTransparent(winId(), topmostCheck->isChecked(), transparent);
    // The library leaves the window opaque; a half-transparent click-through
    // overlay is what the two modes are for, so the slider's choice stands.
    changeOpacity(opacitySlider->value());
    repaint();
}

void Widget::changeOpacity(int opacity)
{
    setWindowOpacity(opacity / 100.0);
}

void Widget::paintEvent(QPaintEvent *)
{
    // A window with an alpha channel paints its own background. Without a
    // compositor its alpha would show as black, so it stays opaque until
    // composition returns (the palette is opaque then as well).
    if (!testAttribute(Qt::WA_TranslucentBackground))
        return;
    QColor background = palette().color(backgroundRole());
    if (!compositedAtLastTick)
        background.setAlpha(255);
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), background);
}

// A mode the windowing system ignores is shown disabled, with the reason,
// rather than left to do nothing when used.
void Widget::explainUnsupportedModes()
{
    const QString why = QStringLiteral("이 데스크톱(Wayland)에서는 지원되지 않습니다.");
    if (!glass->IsSupported(GLASS_TOPMOST)) {
        topmostCheck->setEnabled(false);
        topmostCheck->setToolTip(QStringLiteral("창을 항상 위에 두는 기능은 ") + why);
    }
    if (!glass->IsSupported(GLASS_OPACITY)) {
        opacitySlider->setEnabled(false);
        opacitySlider->setToolTip(QStringLiteral("창 투명도 조절은 ") + why);
    }
    if (!glass->IsSupported(GLASS_CLICKTHROUGH)) {
        transparentAction->setEnabled(false);
        transparentAction->setToolTip(QStringLiteral("마우스 동작을 무시하는 투명 윈도우 모드는 ")
                                      + why);
    }
}
