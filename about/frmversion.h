#pragma once

#include "geometry.h"

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QTimer;

namespace mok {

class ImageButton;
class OutlineShape;

// The about window: the product's name, version, author, mail address and
// home page in a small white window, with image links that open the mail
// program and the browser, a Close label that lights up under the pointer
// and a "Completion" label that shows the release date while the pointer is
// over it. Controls carry their classic names as object names ("imgMail0",
// "txtInfo7"), so tests can find them.
class frmVersion : public QWidget {
    Q_OBJECT
public:
    // The maker's own data shown in the window.
    struct Maker {
        QString author;
        QString mail;     // the address without "mailto:"
        QString homePage; // an https address
        QString credit;   // the credit line at the top right
    };
    static const Maker &maker();

    explicit frmVersion(QWidget *parent = nullptr);
    ~frmVersion() override;

    // The client area as laid out, in twips.
    static constexpr float kClientWidth = 5925;
    static constexpr float kClientHeight = 2550;
    static constexpr mok::RectF kCompletionTwips{4800, 360, 975, 255};
    static constexpr mok::RectF kCompanyTwips{4440, 120, 1335, 255};

    // Event handlers, named after the control and the event.
    void Form_MouseMove();
    void lblClose_MouseMove();
    void lblCompletion_MouseMove();
    void lblClose_Click();
    void imgMail_Click(int index);
    void imgURL_Click(int index);
    void tmrButton_Timer();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void createControls();
    template <typename Label = QLabel>
    Label *createLabel(const char *name, const QString &text, Qt::Alignment alignment,
                       const mok::RectF &twips);
    // A rectangle of the client area, laid out in twips, in the window's
    // pixels: below the caption the window draws where it has to.
    QRect clientPixels(const mok::RectF &twips) const;
    void place(QWidget *control, const mok::RectF &twips);
    void setTextColor(QWidget *control, QColor color);
    // Sets a right-aligned caption. Where the Japanese fallback font draws
    // it wider than its laid-out rectangle, the label grows to the left,
    // its right edge and top staying where the layout puts them.
    void setCaption(QLabel *label, const QString &text, const mok::RectF &twips);

    QLabel *imgTM = nullptr;
    OutlineShape *shpClose = nullptr;
    QLabel *lblClose = nullptr;
    QLabel *lblCompletion = nullptr;
    QLabel *lblCompany = nullptr;
    std::array<QLineEdit *, 10> txtInfo{};
    std::array<OutlineShape *, 10> shpInfo{};
    // The visible link buttons, imgMail(0) and imgURL(0). Each holds its
    // normal and pressed faces (elements 1 and 2 of the classic arrays).
    ImageButton *imgMail = nullptr;
    ImageButton *imgURL = nullptr;
    void pressLink(ImageButton *link);
    // Puts the normal face back and returns true when the link was pressed.
    bool releaseLink(ImageButton *link);

    QTimer *tmrButton = nullptr;
};

} // namespace mok
