#include "WidgetLook.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

QFont fixedPitchFont(qreal points)
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    if (!QFontInfo(font).fixedPitch()) // no Courier New, nor a metric twin of it
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(points);
    return font;
}

void keepReadableWhenDisabled(QWidget *widget, const QColor &background)
{
    QPalette palette = widget->palette();
    for (auto role : {QPalette::Text, QPalette::WindowText})
        palette.setColor(QPalette::Disabled, role, palette.color(QPalette::Active, role));
    if (background.isValid()) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, QPalette::Base, background);
    }
    widget->setPalette(palette);
}

QPushButton *captionedButton(const QString &caption, const QString &objectName, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    button->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    button->setAutoDefault(false);
    return button;
}

QLabel *buddyLabel(const QString &caption, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setBuddy(buddy);
    buddy->setAccessibleName(QString(caption).remove(QLatin1Char('&')));
    return label;
}
