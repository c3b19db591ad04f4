#include "shellcommands.h"

#include "desktop.h"

#include <QDir>
#include <QStringList>
#include <QUrl>

namespace mok {

void ShellCommands::moveToTray()
{
    if (const TaskTray::Away away = moveAway(); away == TaskTray::Away::StillShown)
        tellWhereTheWindowWent(away);
}

void ShellCommands::openReadme()
{
    moveAwayAndSay();
    QStringList lookedIn;
    const QString path = mok::platform::findProgramFile(QStringLiteral("readme.htm"), &lookedIn);
    if (path.isEmpty()) {
        mok::platform::messageBox(m_window,
                                  QStringLiteral(u"readme.htm が見つかりませんでした。"
                                                 u"次の場所を探しました。\n") +
                                      QDir::toNativeSeparators(lookedIn.join(u'\n')),
                                  QStringLiteral(u"readme"));
        return;
    }
    mok::platform::openWithDesktop(m_window, QUrl::fromLocalFile(path));
}

void ShellCommands::moveAwayAndSay()
{
    tellWhereTheWindowWent(moveAway());
}

TaskTray::Away ShellCommands::moveAway()
{
    return m_tray ? m_tray->moveAway(m_window) : TaskTray::Away::StillShown;
}

void ShellCommands::tellWhereTheWindowWent(TaskTray::Away away)
{
    QString text;
    switch (away) {
    case TaskTray::Away::InTray:
        text = QStringLiteral(u"アプリケーションは、タスクトレイへ移動しました。\n"
                              u"元に戻す場合は、タスクトレイのアイコンをクリックしてください。");
        break;
    case TaskTray::Away::Minimised:
        text = QStringLiteral(u"タスクトレイがないため、アプリケーションを最小化しました。\n"
                              u"元に戻す場合は、タスクバーかウィンドウの一覧から選んでください。");
        break;
    case TaskTray::Away::StillShown:
        // Broken after the reason, as one would write it, and not wherever
        // the box happens to run out of width.
        text = QStringLiteral(u"タスクトレイがなく、最小化もできないため、\n"
                              u"アプリケーションはそのまま表示しています。");
        break;
    }
    mok::platform::messageBox(m_window, text, QStringLiteral(u"タスク"));
}

} // namespace mok
