#pragma once

#include <QColor>
#include <QPointer>
#include <QString>

namespace mok {

class PictureBox;

// Turns a picture box into a progress bar. Bind it to its box with
// setTarget(), then set the value; every property write repaints the whole
// bar. The number and unit can be printed in the middle: where the filled
// part covers the text, the text shows inverted, so it reads on both parts.
//
// Every writer paints through the target, so writing any property before a
// target is bound (or after the bound box is gone) throws std::logic_error
// back to the caller, in every build. The value written is kept.
class clsProgressBar {
public:
    enum Style { Horizontal = 0, Vertical = 1 }; // any other value draws no bar

    // Binds the bar to `box` (not owned): clears it, makes its coordinate
    // width Max and repaints at value 0. Its coordinate height stays as the
    // box has it until Max or Style is written.
    void setTarget(PictureBox *box);

    int value() const { return m_value; }
    // Clamps to 0..Max, then repaints.
    void setValue(int value);

    QColor barColor() const { return m_barColor; }
    void setBarColor(const QColor &color);

    // Full scale, and the box's coordinate width (and, once Max or Style has
    // been written, its height). Must be positive.
    int max() const { return m_max; }
    void setMax(int max);

    QString unit() const { return m_unit; }
    void setUnit(const QString &unit);

    bool valueShow() const { return m_valueShow; }
    void setValueShow(bool show);

    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor &color);

    int style() const { return m_style; }
    // Also re-applies Max, so the box gets Max x Max coordinates.
    void setStyle(int style);

private:
    PictureBox &target() const;
    void Redraw() { setValue(m_value); }
    QString text() const;

    QPointer<PictureBox> m_target;
    int m_value = 0;
    QColor m_barColor{0xD0, 0xD0, 0xFF}; // pale blue
    QColor m_backColor{Qt::white};
    int m_max = 100;
    QString m_unit = QStringLiteral("%");
    bool m_valueShow = true;
    int m_style = Horizontal;
};

} // namespace mok
