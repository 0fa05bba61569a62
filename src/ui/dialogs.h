#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include <QString>

#include "base/user_interface.h"

class QMessageBox;
class QWidget;

namespace kestrova {
struct ServerSettings;
}

namespace kestrova::ui {

enum class BoxKind { Question, Info, Warning, Critical, Plain };

/// One message box as it was asked for.
struct ShownBox {
    BoxKind kind = BoxKind::Info;
    QString title;
    QString text;  ///< lines joined by CR LF, as the core writes them
    bool withCancel = false;
    Answer answer = Answer::Ok;
};

/// Every modal dialog and every page the program opens goes through here, so that tests can
/// answer them: after answerAutomatically() nothing is shown or opened; boxes take their
/// answers from a queue (Yes or OK when it is empty), the folder browser its folders, pages
/// open when `browserStarts` says so, and everything is recorded. `whileShown`, when set,
/// runs while a box is up (before its answer returns), as the user's time with a real box
/// does. GUI thread only.
class Dialogs {
  public:
    static Answer show(QWidget* parent, BoxKind kind, const QString& text,
                       const QString& title = {}, bool withCancel = false);

    static void answerAutomatically();
    static void setNextAnswer(Answer answer);
    /// The next folder the browser returns; an empty text cancels it.
    static void setNextFolder(const QString& folder);

    static std::function<void(const ShownBox&)> whileShown;
    static bool browserStarts;

    static std::vector<ShownBox> shown;
    static std::vector<QString> browsedFrom;  ///< start folders of the browser
    static std::vector<QString> openedPages;
    static std::deque<Answer> answers;
    static std::deque<QString> folders;
};

/// The message box as shown: the system's texts keep their own line breaks (it is as wide
/// as their longest line, up to most of the screen), buttons labelled in Japanese.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, BoxKind kind, const QString& text,
                                            const QString& title, bool withCancel);

/// QuestionBox: Yes and No (and Cancel), question icon; the answer code (6, 7, 2).
int QuestionBox(const QString& prompt, const QString& title = {}, bool withCancel = false,
                QWidget* parent = nullptr);
/// InfoBox: OK (and Cancel), information icon; the answer code (1, 2).
int InfoBox(const QString& prompt, const QString& title = {}, bool withCancel = false,
            QWidget* parent = nullptr);

/// BrowseFolder: the folder chosen, or `startFolder` unchanged when the user cancels.
QString BrowseFolder(QWidget* owner, const QString& prompt, const QString& startFolder);

/// OpenPage: opens page `kind` (1 online help, 5 data description) in the default browser.
/// False when `kind` is unknown or no browser took it.
bool OpenPage(int kind, const ServerSettings& settings);

}  // namespace kestrova::ui
