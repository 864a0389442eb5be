#pragma once
// The one seam for modal message boxes and file dialogs. Production calls the real static
// QMessageBox / QFileDialog functions; tests install a responder that records what would
// have been shown and answers file dialogs.

#include <QString>
#include <functional>

class QWidget;

namespace Dialogs {

enum class Kind { Critical, Information, About, OpenFile, SaveFile };

struct Shown
{
    Kind kind;
    QWidget* parent;
    QString title;   // caption of a file dialog
    QString text;    // start path of a file dialog
    QString filter;  // file dialogs only
    QString choice;  // criticalWithChoice: the text of the extra button
};

// Returns the answer of a file dialog (ignored for message boxes).
using Responder = std::function<QString(const Shown&)>;

// Installs a responder (an empty one restores the real dialogs).
void setResponder(Responder responder);

void critical(QWidget* parent, const QString& title, const QString& text);
// A critical message with a second button beside OK; true when the operator chose it (a
// responder chooses it by answering the choice text).
bool criticalWithChoice(QWidget* parent, const QString& title, const QString& text,
                        const QString& choice);
void information(QWidget* parent, const QString& title, const QString& text);
void about(QWidget* parent, const QString& title, const QString& text);
QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                        const QString& filter);
// selectedFilter (optional) receives the filter entry the operator picked; with a responder
// it is left as the caller set it.
QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                        const QString& filter, QString* selectedFilter = nullptr);

} // namespace Dialogs
