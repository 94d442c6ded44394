#include "widget.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);

    // The look never depends on the desktop's theme or on a style named on
    // the command line: the classic style where the toolkit has it, otherwise
    // its successor.
    QStyle *style = QStyleFactory::create(QStringLiteral("cleanlooks"));
    if (!style)
        style = QStyleFactory::create(QStringLiteral("Fusion"));
    if (style)
        QApplication::setStyle(style);

    int result;
    {
        Widget widget;
        widget.show();
        widget.activateWindow();
        result = app.exec();
    }
    return result;
}
