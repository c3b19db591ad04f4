// What a screen reader and the keyboard find in both windows, read through
// Qt's accessibility interfaces as an assistive technology reads them: every
// control's role, name, description and actions, the order Tab goes in, a
// press from the keyboard or a reader waiting for the tick as a click does,
// and the focus shown only to a player who has used the keyboard.
#include "frmversion.h"
#include "gamefixture.h"
#include "testmain.h"

#include <QAccessible>
#include <QAccessibleActionInterface>

#include <memory>

using mok::frmVersion;

namespace {

// How far a window has come: the main window at rest, with a picture shown,
// with a game running; or the about window.
enum Stage { AtRest, PictureShown, Running, About };

QAccessibleInterface *readerOf(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget);
}

QString focusedName()
{
    const QWidget *focused = QApplication::focusWidget();
    return focused ? focused->objectName() : QString();
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void controlsReadAsTheyShow_data();
    void controlsReadAsTheyShow();
    void tabGoesAsTheEyeReads_data();
    void tabGoesAsTheEyeReads();
    void pressesWaitForTheTickLikeAClick_data();
    void pressesWaitForTheTickLikeAClick();
    void theFocusShowsOnlyAfterTheKeyboard();

private:
    // The window at `stage`, shown and active.
    QWidget *reach(Stage stage);

    QTemporaryDir m_dir;
    QString m_picture;
    std::unique_ptr<Game> m_game;
    std::unique_ptr<frmVersion> m_about;
};

void TestAccessibility::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_picture = makePicture(m_dir, QStringLiteral("small.bmp"), 300, 200);
}

void TestAccessibility::init()
{
    m_game = std::make_unique<Game>();
}

void TestAccessibility::cleanup()
{
    m_about.reset();
    m_game.reset();
}

QWidget *TestAccessibility::reach(Stage stage)
{
    QWidget *window = &m_game->window;
    if (stage == About) {
        m_about = std::make_unique<frmVersion>();
        m_about->show();
        window = m_about.get();
    }
    if (stage == PictureShown || stage == Running) {
        if (!openAndWait(m_game->window, m_picture))
            return nullptr;
    }
    if (stage == Running)
        m_game->click("imgStart");
    window->activateWindow();
    return QTest::qWaitForWindowActive(window) ? window : nullptr;
}

void TestAccessibility::controlsReadAsTheyShow_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    // A control hidden or disabled is not offered: it says so and offers
    // no action.
    QTest::addColumn<bool>("offered");
    const int button = QAccessible::Button;
    const auto row = [&](const char *tag, Stage stage, const char *control, int role,
                         const QString &name, const QString &description, bool offered) {
        QTest::addRow("%s", tag) << int(stage) << QString::fromLatin1(control) << role << name
                                 << description << offered;
    };
    row("open", AtRest, "imgOpen", button, u"ピクチャを開く"_qs, u"ピクチャファイルを開く"_qs,
        true);
    row("start before a picture", AtRest, "imgStart", button, u"スタート"_qs, u"スタート"_qs,
        false);
    row("start with a picture", PictureShown, "imgStart", button, u"スタート"_qs, u"スタート"_qs,
        true);
    row("give up in a game", Running, "imgGiveup", button, u"ギブアップ"_qs, u"ギブアップ"_qs,
        true);
    row("min", AtRest, "imgMin", button, u"＿ トレイ"_qs, u"＿ タスクトレイへ移動"_qs, true);
    row("exit", AtRest, "imgExit", button, u"× 閉じる"_qs, u"× 閉じる"_qs, true);
    row("readme", AtRest, "imgReadme", button, u"readme"_qs, u"readme"_qs, true);
    row("version", AtRest, "imgVersion", button, u"バージョン情報"_qs, u"バージョン情報"_qs, true);
    row("level list at rest", AtRest, "cboLevel", QAccessible::ComboBox, u"Level 4 (25コマ)"_qs,
        u"レベルリスト"_qs, true);
    row("level list locked in a game", Running, "cboLevel", QAccessible::ComboBox,
        u"Level 4 (25コマ)"_qs, u"レベルリスト"_qs, false);
    row("banner", AtRest, "lblOpening", QAccessible::StaticText,
        u"いろんなピクチャでジグソーパズル！"_qs, QString(), true);
    row("preview caption", PictureShown, "lblPreview", QAccessible::StaticText,
        u"プレビューサイズ : 1/1   [ 300pixel * 200pixel / 300pixel * 200pixel ]"_qs, QString(),
        true);
    row("piece assembled", PictureShown, "imgPiece6", QAccessible::Graphic, u"コマ 7 / 25"_qs,
        u"正しい位置"_qs, false);
    row("piece scattered", Running, "imgPiece6", QAccessible::Graphic, u"コマ 7 / 25"_qs,
        u"正しい位置ではありません"_qs, true);
    row("about close", About, "lblClose", button, u"Close"_qs, u"閉じる"_qs, true);
    row("about mail", About, "imgMail0", button, u"メールを送る"_qs,
        u"mailto:"_qs + frmVersion::maker().mail, true);
    row("about home page", About, "imgURL0", button, u"ホームページへ"_qs,
        frmVersion::maker().homePage, true);
    row("about completion", About, "lblCompletion", QAccessible::StaticText, u"Completion"_qs,
        QString(), true);
}

void TestAccessibility::controlsReadAsTheyShow()
{
    QFETCH(int, stage);
    QFETCH(QString, control);
    QFETCH(int, role);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(bool, offered);
    QWidget *window = reach(Stage(stage));
    QVERIFY(window);
    QAccessibleInterface *reader = readerOf(window->findChild<QWidget *>(control));
    QVERIFY(reader);
    QCOMPARE(int(reader->role()), role);
    QCOMPARE(reader->text(QAccessible::Name), name);
    QCOMPARE(reader->text(QAccessible::Description), description);
    const QAccessible::State state = reader->state();
    QCOMPARE(!state.invisible && !state.disabled, offered);
    if (role == QAccessible::Button || role == QAccessible::Graphic) {
        const QStringList press{QAccessibleActionInterface::pressAction()};
        QCOMPARE(reader->actionInterface()->actionNames(), offered ? press : QStringList());
    }
}

void TestAccessibility::tabGoesAsTheEyeReads_data()
{
    QTest::addColumn<int>("stage");
    QTest::addColumn<QStringList>("order"); // from the first control, round to it again
    const QStringList shell{u"imgMin"_qs, u"imgExit"_qs, u"imgReadme"_qs, u"imgVersion"_qs};
    QTest::addRow("at rest") << int(AtRest)
                             << QStringList{u"imgOpen"_qs, u"cboLevel"_qs} + shell +
                                    QStringList{u"imgOpen"_qs};
    QTest::addRow("picture shown")
        << int(PictureShown)
        << QStringList{u"imgOpen"_qs, u"imgStart"_qs} + shell + QStringList{u"imgOpen"_qs};
    QTest::addRow("game running") << int(Running)
                                  << QStringList{u"imgOpen"_qs, u"imgGiveup"_qs} + shell +
                                         QStringList{u"imgPiece0"_qs, u"imgOpen"_qs};
    QStringList about{u"lblClose"_qs};
    for (int i = 0; i < 10; ++i)
        about << u"txtInfo%1"_qs.arg(i);
    about.insert(9, u"imgMail0"_qs);
    about << u"imgURL0"_qs << u"lblClose"_qs;
    QTest::addRow("about window") << int(About) << about;
}

void TestAccessibility::tabGoesAsTheEyeReads()
{
    QFETCH(int, stage);
    QFETCH(QStringList, order);
    QWidget *window = reach(Stage(stage));
    QVERIFY(window);
    window->findChild<QWidget *>(order.first())->setFocus();
    QStringList visited{focusedName()};
    while (visited.size() < order.size()) {
        QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
        visited << focusedName();
    }
    QCOMPARE(visited, order);
}

// However a button is pressed, it shows its pressed face and acts one tick
// later, through the same tick as a click.
void TestAccessibility::pressesWaitForTheTickLikeAClick_data()
{
    QTest::addColumn<QString>("by");
    for (const char *by : {"mouse", "space", "return", "reader"})
        QTest::addRow("%s", by) << QString::fromLatin1(by);
}

void TestAccessibility::pressesWaitForTheTickLikeAClick()
{
    QFETCH(QString, by);
    QWidget *window = reach(PictureShown);
    QVERIFY(window);
    auto *start = m_game->find<ImageButton>("imgStart");
    start->setFocus();
    if (by == u"mouse")
        QTest::mouseClick(start, Qt::LeftButton);
    else if (by == u"reader")
        readerOf(start)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    else
        QTest::keyClick(window->windowHandle(), by == u"space" ? Qt::Key_Space : Qt::Key_Return);
    QVERIFY(start->isPressed());
    QVERIFY(readerOf(start)->state().pressed);
    QVERIFY(m_game->board().bordersHidden()); // not started yet
    QTRY_VERIFY(start->isHidden());
    QVERIFY(!m_game->board().bordersHidden());
    QVERIFY(m_game->find("imgGiveup")->isVisible());
}

// A player who only uses the mouse sees the buttons exactly as drawn, though
// one holds the focus; Tab shows where the focus is.
void TestAccessibility::theFocusShowsOnlyAfterTheKeyboard()
{
    QWidget *window = reach(AtRest);
    QVERIFY(window);
    auto *open = m_game->find<ImageButton>("imgOpen");
    const auto faceOnly = [open] {
        const auto rgb = [](const QImage &image) {
            return image.convertToFormat(QImage::Format_RGB32);
        };
        return rgb(open->grab().toImage()) == rgb(open->picture().toImage());
    };
    open->setFocus();
    QVERIFY(open->hasFocus());
    QVERIFY(faceOnly());
    QTest::mouseClick(open, Qt::LeftButton); // Open asks for nothing without its owner
    QVERIFY(faceOnly());
    QTRY_VERIFY(!open->isPressed());
    QVERIFY(faceOnly());
    QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
    QTest::keyClick(window->windowHandle(), Qt::Key_Backtab);
    QVERIFY(open->hasFocus());
    QVERIFY(!faceOnly());
}

MOK_TEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
