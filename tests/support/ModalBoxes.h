#pragma once

// Answers the modal dialogs that a call opens, so window tests can drive
// message boxes, input dialogs and file dialogs without a user.

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

// Closes the dialog it is given, in whatever way the test wants.
using ModalAnswer = std::function<void(QDialog *dialog)>;

inline ModalAnswer pressButton(QMessageBox::StandardButton button)
{
    return [button](QDialog *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (box && box->button(button))
            box->button(button)->click();
        else
            dialog->done(0);
    };
}

inline ModalAnswer typeText(const QString &text)
{
    return [text](QDialog *dialog) {
        if (auto *input = qobject_cast<QInputDialog *>(dialog))
            input->setTextValue(text);
        dialog->accept();
    };
}

inline ModalAnswer chooseFile(const QString &path)
{
    return [path](QDialog *dialog) {
        if (auto *files = qobject_cast<QFileDialog *>(dialog)) {
            files->selectFile(path);
            // selectFile leaves the name field alone while it has the focus.
            if (auto *name = files->findChild<QLineEdit *>("fileNameEdit"))
                name->setText(path);
        }
        dialog->accept();
        if (dialog->isVisible()) // refused by the dialog's own checks
            dialog->done(QDialog::Rejected);
    };
}

// One line per dialog: "text|informative text" for a message box,
// "input:label" for an input dialog, "files:name filters" for a file
// dialog; "<framed>" follows a dialog that has a window frame. Dialogs
// beyond the answers are closed with done(0). A progress dialog is cancelled
// once its value reaches cancelProgressAt (0: never). Each answer runs from
// the event loop, not from the poller, so a dialog it opens in turn (a box
// shown while a file dialog accepts) is answered too instead of hanging.
inline QStringList dialogsShownBy(const std::function<void()> &call, QList<ModalAnswer> answers = {},
                                  int cancelProgressAt = 0)
{
    QStringList shown;
    // The dialog whose answer is on its way; shared, as the answer may run
    // after a dialog it closes has ended the call.
    const auto answering = std::make_shared<QPointer<QDialog>>();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QDialog *dialog = nullptr;
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal == *answering)
            return;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            shown << box->text() + "|" + box->informativeText();
            dialog = box;
        } else if (auto *input = qobject_cast<QInputDialog *>(modal)) {
            shown << "input:" + input->labelText();
            dialog = input;
        } else if (auto *files = qobject_cast<QFileDialog *>(modal)) {
            shown << "files:" + files->nameFilters().join(";;");
            dialog = files;
        } else if (auto *progress = qobject_cast<QProgressDialog *>(modal)) {
            if (cancelProgressAt > 0 && progress->value() >= cancelProgressAt)
                progress->cancel();
        }
        if (!dialog)
            return;
        if (!dialog->windowFlags().testFlag(Qt::FramelessWindowHint))
            shown << "<framed>";
        const ModalAnswer answer = answers.isEmpty() ? ModalAnswer() : answers.takeFirst();
        *answering = dialog;
        QTimer::singleShot(0, dialog, [answering, dialog, answer] {
            const QPointer<QDialog> guard(dialog);
            if (answer)
                answer(dialog);
            if (guard && guard->isVisible())
                guard->done(0);
            if (*answering == dialog)
                *answering = nullptr;
        });
    });
    // A progress dialog lets events through once per step: look at every turn.
    timer.start(cancelProgressAt > 0 ? 0 : 20);
    call();
    return shown;
}

// Runs call, closing each frameless message box it opens; returns "text|informative text" of each.
inline QStringList boxesShownBy(const std::function<void()> &call)
{
    return dialogsShownBy(call);
}
