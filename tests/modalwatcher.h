#pragma once

// Answers the modal boxes and dialogs a test provokes, and remembers what
// they said. The game shows them with exec(), so they are found from a timer
// while their own event loop runs.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

struct SeenModal {
    QString className;
    QString title;
    QString text;
};

class ModalWatcher : public QObject {
public:
    // `answer` may act on the dialog (fill it in); it is then accepted unless
    // `answer` returns false, in which case it is rejected.
    explicit ModalWatcher(std::function<bool(QDialog *)> answer = {}) : m_answer(std::move(answer))
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
        m_timer.start(10);
    }

    const QList<SeenModal> &seen() const { return m_seen; }

private:
    void poll()
    {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog == m_handled)
            return;
        m_handled = dialog;
        SeenModal seen{
            QString::fromLatin1(dialog->metaObject()->className()), dialog->windowTitle(), {}};
        if (auto *box = qobject_cast<QMessageBox *>(dialog))
            seen.text = box->text();
        m_seen << seen;
        const bool accept = !m_answer || m_answer(dialog);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    }

    std::function<bool(QDialog *)> m_answer;
    QTimer m_timer;
    QList<SeenModal> m_seen;
    QPointer<QDialog> m_handled;
};
