#include "piecewidget.h"

#include "accessiblebutton.h"
#include "devicepixels.h"
#include "focusring.h"
#include "piecepainting.h"
#include "rectbyrect.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace mok {

namespace {

// A piece to assistive technology: a picture, named by its number, whose
// description and states say whether it is at home or lifted, and whose one
// action picks it up or puts it down.
class AccessiblePiece : public AccessiblePressable {
public:
    explicit AccessiblePiece(PieceWidget *piece) : AccessiblePressable(piece, QAccessible::Graphic)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Description ? piece()->stateText() : QAccessibleWidget::text(t);
    }

    // While lifted, the piece is where its outline is: a reader or a
    // magnifier that follows the focus follows the outline.
    QRect rect() const override
    {
        const QRect &lifted = piece()->liftedOutline();
        if (lifted.isNull())
            return QAccessibleWidget::rect();
        return QRect(piece()->window()->mapToGlobal(lifted.topLeft()), lifted.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        // Only one piece at a time is a Tab stop, but arrows reach them all.
        state.focusable = offered();
        state.checkable = true;
        state.checked = piece()->isHome();
        state.pressed = !piece()->liftedOutline().isNull();
        return state;
    }

protected:
    // A piece that cannot be grabbed (before Start, after the clear) offers
    // no action.
    void press() override
    {
        PieceWidget *pressed = piece();
        emit pressed->pressRequested(pressed->index());
    }

private:
    PieceWidget *piece() const { return static_cast<PieceWidget *>(widget()); }
};

QAccessibleInterface *createAccessiblePiece(const QString &className, QObject *object)
{
    if (className == QLatin1String(PieceWidget::staticMetaObject.className()))
        return new AccessiblePiece(static_cast<PieceWidget *>(object));
    return nullptr;
}

} // namespace

PieceWidget::PieceWidget(int index, QWidget *parent) : QWidget(parent), m_index(index)
{
    static const bool accessible = [] {
        QAccessible::installFactory(&createAccessiblePiece);
        return true;
    }();
    (void)accessible;
    setObjectName(QStringLiteral("imgPiece%1").arg(index));
    // Not marked opaque, though it paints every pixel: the window then keeps
    // no region of opaque children to recompute over all hundred pieces
    // whenever one is restacked, which cost more than repainting the
    // background under the piece.
    hide();
}

void PieceWidget::setPicture(const QImage &area, const mok::PiecePicture &picture,
                             QPoint areaOrigin)
{
    // The same area is the same pixels: while this piece holds a share of
    // them, any change to the board's picture detaches it to new ones.
    if (area.constBits() == m_area.constBits() && picture == m_picture &&
        areaOrigin == m_areaOrigin)
        return;
    m_area = area;
    m_picture = picture;
    m_areaOrigin = areaOrigin;
    update();
}

void PieceWidget::setNumber(int number, int count)
{
    const QString name = QStringLiteral(u"コマ %1 / %2").arg(number).arg(count);
    if (name != accessibleName())
        setAccessibleName(name);
}

void PieceWidget::setHome(bool home)
{
    if (home == m_home)
        return;
    m_home = home;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent state(this, changed);
    QAccessible::updateAccessibility(&state);
    announceStateText();
}

void PieceWidget::setLifted(const QRect &outline)
{
    if (outline == m_lifted)
        return;
    m_lifted = outline;
    QAccessibleEvent moved(this, QAccessible::LocationChanged);
    QAccessible::updateAccessibility(&moved);
    announceStateText();
}

QString PieceWidget::stateText() const
{
    if (!m_lifted.isNull())
        return QStringLiteral(u"持ち上げ中（左 %1、上 %2）")
            .arg(m_lifted.left())
            .arg(m_lifted.top());
    return m_home ? QStringLiteral(u"正しい位置") : QStringLiteral(u"正しい位置ではありません");
}

// A reader speaks the description of the focused object when it changes:
// every pick, step and drop is heard this way.
void PieceWidget::announceStateText()
{
    QAccessibleEvent description(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
}

void PieceWidget::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRegion &exposed = event->region();
    // A drag's outline crosses a piece in thin strips: paint just those.
    if (painter.device()->devicePixelRatioF() == 1.0) {
        paintRectByRect(painter, exposed,
                        [&](const QRect &r) { mok::paintPiece(painter, m_area, m_picture, r); });
    } else {
        // On a high-density screen the piece is painted in device pixels,
        // from the picture area's device pixels; an exposed strip may end
        // inside a device pixel, so each is widened to whole ones.
        const DevicePixels device(painter, this);
        const QRect target = device.rect(rect());
        QRegion widened;
        for (const QRect &r : exposed)
            widened += device.rect(r).adjusted(-1, -1, 1, 1).intersected(target);
        paintRectByRect(painter, widened, [&](const QRect &r) {
            mok::paintPieceAt(painter, m_area, m_picture, m_areaOrigin, target, device.ratio(), r);
        });
    }
    if (showsFocusRing(this)) {
        painter.resetTransform();
        painter.setClipping(false);
        paintFocusRing(painter, rect());
    }
}

// Any button starts a drag; the first release ends it.
void PieceWidget::mousePressEvent(QMouseEvent *event)
{
    if (m_down)
        return;
    m_down = true;
    emit mouseDown(m_index, event->position().toPoint());
}

void PieceWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (m_down)
        emit mouseMove(m_index, event->globalPosition().toPoint());
}

void PieceWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_down)
        return;
    m_down = false;
    emit mouseUp(m_index, event->globalPosition().toPoint());
}

} // namespace mok
