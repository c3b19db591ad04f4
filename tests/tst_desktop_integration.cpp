// The game on a Linux desktop: Qt's own dialogs speak Japanese, the command
// line answers questions and names a picture, and a picture dropped from a
// file manager opens as if chosen in the dialog.
#include "appfixture.h"
#include "commandline.h"
#include "file_formats.h"
#include "filedialog.h"
#include "gamefixture.h"
#include "modalwatcher.h"
#include "translation.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMimeData>
#include <QPushButton>
#include <QTreeView>

using mok::AppController;
using mok::CommandLine;
using mok::frmMain;
using mok::parseCommandLine;
using mok::PieceWidget;
using namespace Qt::StringLiterals;

class TestDesktopIntegration : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fileDialogReadsInJapanese();
    void fileDialogNamesFoldersInJapanese();
    void fileDialogShowsWholeTypesAndDates();
    void messageBoxButtonReadsInJapanese();
    void commandLine_data();
    void commandLine();
    void droppedPicture_data();
    void droppedPicture();
    void pictureOnTheCommandLineOpensOnceTheBannerSettles();
    void dropOnTheWindowOpensThePicture();
    void dropIsRefusedWhileOpenCannotBePressed();

private:
    QTemporaryDir m_dir;
    QString m_jpeg;
};

namespace {

QString textOf(QDialog *dialog, const char *name)
{
    if (auto *label = dialog->findChild<QLabel *>(QLatin1String(name)))
        return label->text();
    return {};
}

QMimeData *urlsOf(const QStringList &paths)
{
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << (path.contains(QLatin1String("://")) ? QUrl(path) : QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

// Sends the drag-enter and drop a file manager would send; returns whether
// the window took the drop.
bool dropOn(QWidget *window, QMimeData *data)
{
    const QPointF at(window->width() / 2.0, window->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(window, &enter);
    QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(window, &drop);
    return enter.isAccepted() && drop.isAccepted();
}

} // namespace

void TestDesktopIntegration::initTestCase()
{
    QVERIFY(mok::platform::installJapaneseTranslation(*QCoreApplication::instance()));
    QVERIFY(m_dir.isValid());
    m_jpeg = makePicture(m_dir, QStringLiteral("picture.jpg"), 300, 200);
}

void TestDesktopIntegration::fileDialogReadsInJapanese()
{
    QStringList seen;
    ModalWatcher watcher([&seen](QDialog *dialog) {
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        for (QAbstractButton *button : buttons->buttons())
            seen << button->text();
        seen << textOf(dialog, "lookInLabel") << textOf(dialog, "fileNameLabel")
             << textOf(dialog, "fileTypeLabel");
        return false;
    });
    mok::platform::openFileDialog(
        nullptr, QStringLiteral(u"ファイルを開く"),
        {{QStringLiteral(u"ビットマップ(*.bmp)"), QStringLiteral("*.bmp")}});
    QCOMPARE(watcher.seen().size(), 1);
    QCOMPARE(seen.size(), 5);
    // Qt's English would be "&Open", "Cancel", "Look in:", "File &name:",
    // "Files of type:".
    QVERIFY2(seen.contains(QStringLiteral(u"開く(&O)")), qPrintable(seen.join(u'|')));
    QVERIFY2(seen.contains(QStringLiteral(u"キャンセル")), qPrintable(seen.join(u'|')));
    for (const QString &label : seen.mid(2))
        QVERIFY2(!label.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3}"))),
                 qPrintable(label));
}

// The dialog's Type column, as its folder model gives it: Qt's own Japanese
// texts lack the word for a folder.
void TestDesktopIntegration::fileDialogNamesFoldersInJapanese()
{
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder")));
    QFileSystemModel model;
    QSignalSpy loaded(&model, &QFileSystemModel::directoryLoaded);
    model.setRootPath(m_dir.path());
    QVERIFY(loaded.wait(5000));
    QCOMPARE(model.type(model.index(m_dir.filePath(QStringLiteral("folder")))),
             QStringLiteral(u"フォルダー"));
}

// Qt's own widths cut a Japanese file type, a size or a date short.
void TestDesktopIntegration::fileDialogShowsWholeTypesAndDates()
{
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("folder")));
    int rows = 0;
    QStringList cut;
    ModalWatcher watcher([&](QDialog *dialog) {
        // Qt puts back the widths the columns had when a dialog last closed,
        // whatever it showed then: narrow ones, here.
        auto *view = dialog->findChild<QTreeView *>(QStringLiteral("treeView"));
        for (int column = 1; column < view->model()->columnCount(); ++column)
            view->setColumnWidth(column, 10);
        static_cast<QFileDialog *>(dialog)->setDirectory(m_dir.path());
        const auto cutColumns = [view] {
            QStringList cut;
            for (int column = 1; column < view->model()->columnCount(); ++column) {
                if (view->columnWidth(column) <
                    static_cast<QAbstractItemView *>(view)->sizeHintForColumn(column))
                    cut << view->model()->headerData(column, Qt::Horizontal).toString();
            }
            return cut;
        };
        // The folder is read in the background; wait for both entries, then
        // for the columns to fit them.
        QDeadlineTimer deadline(5000);
        while (view->model()->rowCount(view->rootIndex()) < 2 && !deadline.hasExpired())
            QTest::qWait(20);
        rows = view->model()->rowCount(view->rootIndex());
        while (!(cut = cutColumns()).isEmpty() && !deadline.hasExpired())
            QTest::qWait(20);
        return false;
    });
    mok::platform::openFileDialog(nullptr, QStringLiteral(u"ファイルを開く"),
                                  {{QStringLiteral(u"JPEG(*.jpg)"), QStringLiteral("*.jpg")}});
    QCOMPARE(watcher.seen().size(), 1);
    QVERIFY(rows >= 2); // the folder and the picture
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u',')));
}

void TestDesktopIntegration::messageBoxButtonReadsInJapanese()
{
    QString button;
    ModalWatcher watcher([&button](QDialog *dialog) {
        if (auto *ok = qobject_cast<QMessageBox *>(dialog)->button(QMessageBox::Ok))
            button = ok->text();
        return true;
    });
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral(u"タスク"), QStringLiteral(u"本文"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.exec();
    QCOMPARE(watcher.seen().size(), 1);
    QVERIFY(!button.isEmpty());
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral(u"キャンセル"));
}

void TestDesktopIntegration::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("output");
    using A = CommandLine::Action;
    const QString cwd = QDir::currentPath();
    QTest::addRow("nothing") << QStringList{} << int(A::Play) << QString() << QString();
    QTest::addRow("relative picture")
        << QStringList{u"sub/p.jpg"_s} << int(A::Play) << cwd + u"/sub/p.jpg"_s << QString();
    QTest::addRow("absolute picture") << QStringList{u"/tmp/ピクチャ.jpg"_s} << int(A::Play)
                                      << u"/tmp/ピクチャ.jpg"_s << QString();
    QTest::addRow("version") << QStringList{u"--version"_s} << int(A::PrintAndExit) << QString()
                             << u"mok " MOK_VERSION "\n"_s;
    QTest::addRow("help") << QStringList{u"--help"_s} << int(A::PrintAndExit) << QString()
                          << u"[picture]"_s;
    QTest::addRow("two pictures") << QStringList{u"a.jpg"_s, u"b.jpg"_s} << int(A::Fail)
                                  << QString() << QString();
    QTest::addRow("unknown option")
        << QStringList{u"--frobnicate"_s} << int(A::Fail) << QString() << u"frobnicate"_s;
}

void TestDesktopIntegration::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QString, picture);
    QFETCH(QString, output);
    const CommandLine line = parseCommandLine(QStringList{u"mok"_s} + arguments);
    QCOMPARE(int(line.action), action);
    QCOMPARE(line.picture, picture);
    QVERIFY2(line.output.contains(output), qPrintable(line.output));
    if (line.action == CommandLine::Action::Fail)
        QVERIFY(!line.output.isEmpty());
}

void TestDesktopIntegration::droppedPicture_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("taken");
    QFile text(m_dir.filePath(u"notes.txt"_s));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture\n");
    text.close();
    // A JPEG by its content alone, whatever its name.
    QFile::copy(m_jpeg, m_dir.filePath(u"renamed"_s));
    QTest::addRow("jpeg") << QStringList{m_jpeg} << true;
    QTest::addRow("jpeg without suffix") << QStringList{m_dir.filePath(u"renamed"_s)} << true;
    // The newer formats by their names, and a HEIC by its content alone.
    for (const QString &name : {u"a.png"_s, u"a.webp"_s, u"a.heic"_s, u"a.heif"_s, u"a.avif"_s}) {
        QFile(m_dir.filePath(name)).open(QIODevice::WriteOnly);
        QTest::addRow("%s", qPrintable(name)) << QStringList{m_dir.filePath(name)} << true;
    }
    QFile heic(m_dir.filePath(u"photo"_s));
    QVERIFY(heic.open(QIODevice::WriteOnly));
    heic.write(QByteArray("\0\0\0\x18"
                          "ftypheic\0\0\0\0mif1heic",
                          24));
    heic.close();
    QTest::addRow("heic without suffix") << QStringList{heic.fileName()} << true;
    QTest::addRow("text file") << QStringList{text.fileName()} << false;
    QTest::addRow("folder") << QStringList{m_dir.path()} << false;
    QTest::addRow("two pictures") << QStringList{m_jpeg, m_jpeg} << false;
    QTest::addRow("remote") << QStringList{u"https://www.example.org/p.jpg"_s} << false;
    QTest::addRow("missing") << QStringList{m_dir.filePath(u"gone.jpg"_s)} << false;
}

void TestDesktopIntegration::droppedPicture()
{
    QFETCH(QStringList, paths);
    QFETCH(bool, taken);
    std::unique_ptr<QMimeData> data(urlsOf(paths));
    QCOMPARE(!mok::platform::droppedPicture(data.get(), mok::picture::pictureMimeTypes()).isEmpty(),
             taken);
}

void TestDesktopIntegration::pictureOnTheCommandLineOpensOnceTheBannerSettles()
{
    AppController controller;
    QVERIFY(controller.start(m_jpeg));
    QTRY_VERIFY_WITH_TIMEOUT(controller.window(), 20000);
    QPointer<frmMain> first = controller.window();
    // The banner runs first, untouched by the picture waiting to open.
    QVERIFY(first->findChild<QTimer *>(u"tmrScroll"_s)->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(controller.window() != first, 20000);
    frmMain *window = controller.window();
    QTRY_VERIFY(window->findChild<QWidget *>(u"imgStart"_s)->isVisible());
    QCOMPARE(window->findChild<QLabel *>(u"lblPath"_s)->text(),
             QStringLiteral(u"ピクチャ : ") + m_jpeg);
    QVERIFY(window->findChild<QWidget *>(u"lblOpening"_s)->isHidden());
}

void TestDesktopIntegration::dropOnTheWindowOpensThePicture()
{
    AppController controller;
    // Held weakly: the fresh window may be made where the old one was freed.
    QPointer<frmMain> first = startAndWaitForOpen(controller);
    QVERIFY(first);
    first->selectLevel(8);
    std::unique_ptr<QMimeData> data(urlsOf({m_jpeg}));
    QVERIFY(dropOn(first, data.get()));
    // A fresh window with the level carried over shows the picture assembled.
    QTRY_VERIFY(controller.window() != first);
    frmMain *window = controller.window();
    QTRY_VERIFY(window->findChild<QWidget *>(u"imgStart"_s)->isVisible());
    QCOMPARE(window->selectedLastIndex(), 8); // Level 2 (9コマ)
    QCOMPARE(window->findChild<QLabel *>(u"lblPath"_s)->text(),
             QStringLiteral(u"ピクチャ : ") + m_jpeg);
}

void TestDesktopIntegration::dropIsRefusedWhileOpenCannotBePressed()
{
    // In the middle of a piece's drag the drop is not taken.
    Game game;
    QVERIFY(openAndWait(game.window, m_jpeg));
    game.click("imgStart");
    QSignalSpy dropped(&game.window, &frmMain::pictureDropped);
    PieceWidget *piece = game.piece(0);
    QTest::mousePress(piece, Qt::LeftButton, {}, QPoint(3, 3));
    std::unique_ptr<QMimeData> data(urlsOf({m_jpeg}));
    QVERIFY(!dropOn(&game.window, data.get()));
    QTest::mouseRelease(piece, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(dropped.count(), 0);
    // With the drag over, the same drop is taken.
    QVERIFY(dropOn(&game.window, data.get()));
    QCOMPARE(dropped.count(), 1);
}

QTEST_MAIN(TestDesktopIntegration)
#include "tst_desktop_integration.moc"
