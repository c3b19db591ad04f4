#include "frmversion.h"

#include "asset_pixmap.h"
#include "captionbar.h"
#include "desktop.h"
#include "imagebutton.h"
#include "labelbutton.h"
#include "outlineshape.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace mok {

namespace {

// A colour written the classic way: 0x00BBGGRR.
QColor bgr(quint32 value)
{
    return QColor(value & 0xff, (value >> 8) & 0xff, (value >> 16) & 0xff);
}

const QColor kGrey = bgr(0x00606060);
const QColor kFrame = bgr(0x00A0A0A0);
const QColor kWhite = bgr(0x00FFFFFF);
const QColor kBlue = bgr(0x00FF0000);
const QColor kOrange = bgr(0x000080FF);
// The frame the window draws round itself where no window manager does.
const QColor kOwnFrame(0x40, 0x40, 0x40);

// An information row: the name shown in its left box, and the width of the
// box that holds its value.
struct InfoRow {
    const char16_t *name;
    float valueWidth;
};

} // namespace

const frmVersion::Maker &frmVersion::maker()
{
    static const Maker maker{QStringLiteral(u"Mok 開発チーム"), QStringLiteral("mok@example.org"),
                             QStringLiteral("https://mok.example.org/"),
                             QStringLiteral(u"© Mok Project")};
    return maker;
}

frmVersion::frmVersion(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmVersion"));
    // A fixed dialog frame with a caption and nothing else on it: no
    // maximise, minimise or close box. Close is the label in the window.
    setWindowTitle(QStringLiteral(u"バージョン情報"));
    const mok::platform::OwnFrame own = mok::platform::askForTitleOnlyFrame(this);
    setWindowIcon(QIcon(mok::assetPixmap(QStringLiteral("icon"))));
    // The window stands on its own: closing it never ends the program, even
    // while the main window waits in the notification area.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(mok::platform::uiFont(9));
    QPalette white = palette();
    white.setColor(QPalette::Window, kWhite);
    setPalette(white);
    setAutoFillBackground(true);
    setMouseTracking(true);

    // What the window manager does not draw round the client area, the
    // window draws itself: its caption above it, and a frame round both.
    auto *caption = own.caption ? new CaptionBar(this) : nullptr;
    const int captionHeight = caption ? caption->sizeHint().height() : 0;
    setContentsMargins(own.border, own.border + captionHeight, own.border, own.border);
    const mok::Screen s = mok::platform::primaryScreen();
    const QRect client = mok::toPixels(RectF{0, 0, kClientWidth, kClientHeight}, s);
    setFixedSize(client.size().grownBy(contentsMargins()));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());

    createControls();
    if (caption) {
        caption->setObjectName(QStringLiteral("caption"));
        caption->setGeometry(own.border, own.border, client.width(), captionHeight);
    }
    if (own.border > 0)
        (new OutlineShape(kOwnFrame, this))->setGeometry(rect());
}

frmVersion::~frmVersion() = default;

void frmVersion::createControls()
{
    imgTM = new QLabel(this);
    imgTM->setObjectName(QStringLiteral("imgTM"));
    imgTM->setPixmap(mok::assetPixmap(QStringLiteral("logo")));
    place(imgTM, {120, 120, 1515, 480});

    // The frame under Close comes first, so the label lies on top of it.
    shpClose = new OutlineShape(kFrame, this);
    shpClose->setObjectName(QStringLiteral("shpClose"));
    shpClose->setFillColor(kWhite);
    place(shpClose, {2640, 75, 615, 255});
    // A caption to the eye, a button to the keyboard and to a reader.
    auto *close = createLabel<LabelButton>("lblClose", QStringLiteral("Close"),
                                           Qt::AlignHCenter | Qt::AlignTop, {2640, 120, 615, 255});
    close->setToolTip(QStringLiteral(u"閉じる"));
    connect(close, &LabelButton::clicked, this, &frmVersion::lblClose_Click);
    lblClose = close;

    lblCompletion =
        createLabel("lblCompletion", QString(), Qt::AlignRight | Qt::AlignTop, kCompletionTwips);
    setCaption(lblCompletion, QStringLiteral("Completion"), kCompletionTwips);
    lblCompany = createLabel("lblCompany", QString(), Qt::AlignRight | Qt::AlignTop, kCompanyTwips);
    setCaption(lblCompany, maker().credit, kCompanyTwips);

    const InfoRow rows[] = {{u"ソフトウェア名", 4320},
                            {u"バージョン", 4320},
                            {u"作者", 4320},
                            {u"メール", 2520},
                            {u"ホームページ", 2520}};
    const QString values[] = {QStringLiteral(u"Mok (モク）"), QStringLiteral(MOK_VERSION),
                              maker().author, maker().mail, maker().homePage};
    for (int r = 0; r < 5; ++r) {
        const float frameTop = 720 + 360 * static_cast<float>(r);
        const float boxTop = frameTop + 75;
        for (int side = 0; side < 2; ++side) {
            const int i = 2 * r + side;
            auto *frame = new OutlineShape(kFrame, this);
            frame->setObjectName(QStringLiteral("shpInfo%1").arg(i));
            place(frame,
                  side == 0 ? RectF{60, frameTop, 1275, 330} : RectF{1365, frameTop, 4500, 330});
            shpInfo[i] = frame;

            auto *box = new QLineEdit(this);
            box->setObjectName(QStringLiteral("txtInfo%1").arg(i));
            box->setText(side == 0 ? QString::fromUtf16(rows[r].name) : values[r]);
            box->setCursorPosition(0);
            // Read-only boxes draw no caret: HideCaret's work is done here,
            // once, rather than on every focus.
            box->setReadOnly(true);
            box->setFrame(false);
            QPalette colours = box->palette();
            colours.setColor(QPalette::Base, kWhite);
            colours.setColor(QPalette::Text, kGrey);
            box->setPalette(colours);
            place(box, side == 0 ? RectF{150, boxTop, 1095, 240}
                                 : RectF{1455, boxTop, rows[r].valueWidth, 240});
            txtInfo[i] = box;
        }
    }

    // A link's name to a reader is the caption on its face; its description
    // says where it leads.
    const auto makeLink = [this](ImageButton *&link, const char *name, const QString &face,
                                 const QString &caption, const QString &target, const RectF &twips,
                                 void (frmVersion::*click)(int)) {
        link = new ImageButton(this);
        link->setObjectName(QLatin1String(name));
        link->setText(caption);
        link->setAccessibleDescription(target);
        link->setFaces(
            mok::assetPixmap(QStringLiteral("faces/") + face),
            mok::assetPixmap(QStringLiteral("faces/") + face + QStringLiteral("_pressed")));
        link->setCursor(Qt::PointingHandCursor);
        place(link, twips);
        connect(link, &ImageButton::clicked, this, [this, click] { (this->*click)(0); });
    };
    makeLink(imgMail, "imgMail0", QStringLiteral("mail"), QStringLiteral(u"メールを送る"),
             QStringLiteral("mailto:") + maker().mail, {4020, 1830, 1800, 270},
             &frmVersion::imgMail_Click);
    makeLink(imgURL, "imgURL0", QStringLiteral("url"), QStringLiteral(u"ホームページへ"),
             maker().homePage, {4020, 2190, 1800, 270}, &frmVersion::imgURL_Click);
    // Tab as the eye reads: Close, then the rows, each link after the row it
    // stands beside.
    const std::array<QWidget *, 13> order{
        lblClose,   txtInfo[0], txtInfo[1], txtInfo[2], txtInfo[3], txtInfo[4], txtInfo[5],
        txtInfo[6], txtInfo[7], imgMail,    txtInfo[8], txtInfo[9], imgURL};
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    tmrButton = new QTimer(this);
    tmrButton->setObjectName(QStringLiteral("tmrButton"));
    tmrButton->setInterval(100);
    connect(tmrButton, &QTimer::timeout, this, &frmVersion::tmrButton_Timer);

    // Every control takes the pointer's motion for itself, so only the bare
    // window (and the frames, which are only drawn on it) reaches
    // Form_MouseMove.
    for (QWidget *control : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (control->testAttribute(Qt::WA_TransparentForMouseEvents))
            continue;
        control->setMouseTracking(true);
        control->setAttribute(Qt::WA_NoMousePropagation);
        control->installEventFilter(this);
    }
}

template <typename Label>
Label *frmVersion::createLabel(const char *name, const QString &text, Qt::Alignment alignment,
                               const RectF &twips)
{
    auto *label = new Label(text, this);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(alignment);
    setTextColor(label, kGrey);
    place(label, twips);
    return label;
}

QRect frmVersion::clientPixels(const RectF &twips) const
{
    return mok::toPixels(twips, mok::platform::primaryScreen())
        .translated(contentsRect().topLeft());
}

void frmVersion::place(QWidget *control, const RectF &twips)
{
    control->setGeometry(clientPixels(twips));
}

void frmVersion::setCaption(QLabel *label, const QString &text, const RectF &twips)
{
    label->setText(text);
    QRect r = clientPixels(twips);
    const int needed = label->fontMetrics().horizontalAdvance(text) + 2 * label->margin();
    if (needed > r.width())
        r.setLeft(r.right() + 1 - needed);
    label->setGeometry(r);
}

void frmVersion::setTextColor(QWidget *control, QColor color)
{
    QPalette p = control->palette();
    if (p.color(QPalette::WindowText) == color)
        return;
    p.setColor(QPalette::WindowText, color);
    control->setPalette(p);
}

bool frmVersion::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
        if (watched == lblClose)
            lblClose_MouseMove();
        else if (watched == lblCompletion)
            lblCompletion_MouseMove();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void frmVersion::mouseMoveEvent(QMouseEvent *)
{
    Form_MouseMove();
}

void frmVersion::Form_MouseMove()
{
    setTextColor(lblClose, kGrey);
    shpClose->setFillColor(kWhite);
    setCaption(lblCompletion, QStringLiteral("Completion"), kCompletionTwips);
    setTextColor(lblCompletion, kGrey);
}

void frmVersion::lblClose_MouseMove()
{
    setTextColor(lblClose, kWhite);
    shpClose->setFillColor(kBlue);
}

void frmVersion::lblCompletion_MouseMove()
{
    setCaption(lblCompletion, QStringLiteral("2001/06/13"), kCompletionTwips);
    setTextColor(lblCompletion, kOrange);
}

void frmVersion::lblClose_Click()
{
    close();
}

void frmVersion::imgMail_Click(int)
{
    pressLink(imgMail);
}

void frmVersion::imgURL_Click(int)
{
    pressLink(imgURL);
}

void frmVersion::pressLink(ImageButton *link)
{
    link->setPressed(true);
    // Enabling an enabled timer does not put its tick off: however often a
    // link is clicked, it opens once, one tick after the first click.
    if (!tmrButton->isActive())
        tmrButton->start();
}

bool frmVersion::releaseLink(ImageButton *link)
{
    if (!link->isPressed())
        return false;
    link->setPressed(false);
    tmrButton->stop();
    return true;
}

void frmVersion::tmrButton_Timer()
{
    if (releaseLink(imgMail))
        mok::platform::openWithDesktop(this, QUrl(QStringLiteral("mailto:") + maker().mail));
    if (releaseLink(imgURL))
        mok::platform::openWithDesktop(this, QUrl(maker().homePage));
}

} // namespace mok
