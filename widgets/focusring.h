#pragma once

class QPainter;
class QRect;
class QWidget;

namespace mok {

// Where the keyboard focus lies is shown only to a player who has used the
// keyboard in the window. One who only uses the mouse sees every control
// exactly as it is drawn, never a ring round whichever control happens to
// hold the focus.
bool showsFocusRing(const QWidget *widget);
// The keyboard has been used in `widget`'s window: the focus shows from now
// on. Qt notes Tab by itself; a key that acts without moving the focus first
// (Space on the control focused at start) is noted here.
void noteKeyboardUse(QWidget *widget);
// A ring just inside `rect`, white outside and black inside, so that it shows
// on the dark background and on light faces and pictures alike.
void paintFocusRing(QPainter &painter, const QRect &rect);

} // namespace mok
