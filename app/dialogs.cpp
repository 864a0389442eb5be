#include "app/dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace Dialogs {
namespace {
Responder& responder()
{
    static Responder current;
    return current;
}

// Lets the responder answer; true when it did.
bool answered(const Shown& shown, QString* answer = nullptr)
{
    if (!responder())
        return false;
    QString reply = responder()(shown);
    if (answer)
        *answer = reply;
    return true;
}
} // namespace

void setResponder(Responder r)
{
    responder() = std::move(r);
}

void critical(QWidget* parent, const QString& title, const QString& text)
{
    if (!answered({Kind::Critical, parent, title, text, {}, {}}))
        QMessageBox::critical(parent, title, text, QMessageBox::Ok);
}

bool criticalWithChoice(QWidget* parent, const QString& title, const QString& text,
                        const QString& choice)
{
    QString answer;
    if (answered({Kind::Critical, parent, title, text, {}, choice}, &answer))
        return answer == choice;
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    QPushButton* button = box.addButton(choice, QMessageBox::AcceptRole);
    box.exec();
    return box.clickedButton() == button;
}

void information(QWidget* parent, const QString& title, const QString& text)
{
    if (!answered({Kind::Information, parent, title, text, {}, {}}))
        QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void about(QWidget* parent, const QString& title, const QString& text)
{
    if (!answered({Kind::About, parent, title, text, {}, {}}))
        QMessageBox::about(parent, title, text);
}

QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                        const QString& filter)
{
    QString answer;
    if (answered({Kind::OpenFile, parent, caption, dir, filter, {}}, &answer))
        return answer;
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                        const QString& filter, QString* selectedFilter)
{
    QString answer;
    if (answered({Kind::SaveFile, parent, caption, dir, filter, {}}, &answer))
        return answer;
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, selectedFilter);
}

} // namespace Dialogs
