#include "ui/dialogs.h"

#include <algorithm>

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include "services/program_texts.h"
#include "ui/qt_text.h"

namespace kestrova::ui {

namespace {

bool automatic = false;

QMessageBox::Icon iconOf(BoxKind kind) {
    switch (kind) {
        case BoxKind::Question:
            return QMessageBox::Question;
        case BoxKind::Info:
            return QMessageBox::Information;
        case BoxKind::Warning:
            return QMessageBox::Warning;
        case BoxKind::Critical:
            return QMessageBox::Critical;
        case BoxKind::Plain:
            break;
    }
    return QMessageBox::NoIcon;
}

/// A message box wraps its text at about 500 pixels, anywhere in a Japanese line ("によっ",
/// "て"): the label is made as wide as the longest line, so that only the text's own breaks
/// remain, up to most of the screen.
void keepLineBreaks(QMessageBox& box, const QString& text) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label == nullptr) {
        return;
    }
    const QFontMetrics metrics(label->font());
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    const QScreen* screen = box.screen();
    const int limit = screen ? screen->availableGeometry().width() * 4 / 5 : 1000;
    // A few pixels more: the label's own margin and rounding must not force a break.
    label->setMinimumWidth(std::min(widest + metrics.averageCharWidth(), limit));
}

Answer showBox(QWidget* parent, BoxKind kind, const QString& text, const QString& title,
               bool withCancel) {
    const auto box = makeMessageBox(parent, kind, text, title, withCancel);
    switch (box->exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            break;
    }
    // A box closed by Esc or its close box without a Cancel button.
    if (!withCancel && kind == BoxKind::Question) {
        return Answer::No;
    }
    return withCancel ? Answer::Cancel : Answer::Ok;
}

}  // namespace

std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, BoxKind kind, const QString& text,
                                            const QString& title, bool withCancel) {
    const QString shown = displayText(text);
    auto box = std::make_unique<QMessageBox>(iconOf(kind), title, shown, QMessageBox::NoButton,
                                             parent ? parent : QApplication::activeWindow());
    // Labelled here, so a system without Qt's own translations still reads Japanese.
    if (kind == BoxKind::Question) {
        box->addButton(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
        box->addButton(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
        box->setDefaultButton(QMessageBox::Yes);
    } else {
        box->addButton(QMessageBox::Ok)->setText(QStringLiteral("OK"));
        box->setDefaultButton(QMessageBox::Ok);
    }
    if (withCancel) {
        box->addButton(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    }
    keepLineBreaks(*box, shown);
    return box;
}

std::function<void(const ShownBox&)> Dialogs::whileShown;
bool Dialogs::browserStarts = true;
std::vector<ShownBox> Dialogs::shown;
std::vector<QString> Dialogs::browsedFrom;
std::vector<QString> Dialogs::openedPages;
std::deque<Answer> Dialogs::answers;
std::deque<QString> Dialogs::folders;

Answer Dialogs::show(QWidget* parent, BoxKind kind, const QString& text, const QString& title,
                     bool withCancel) {
    const QString caption = title.isEmpty() ? QStringLiteral("Kestrova") : title;
    Answer answer = kind == BoxKind::Question ? Answer::Yes : Answer::Ok;
    if (automatic) {
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
    } else {
        answer = showBox(parent, kind, text, caption, withCancel);
    }
    const ShownBox box{kind, caption, text, withCancel, answer};
    if (automatic && whileShown) {
        whileShown(box);
    }
    shown.push_back(box);
    return answer;
}

void Dialogs::answerAutomatically() {
    automatic = true;
}

void Dialogs::setNextAnswer(Answer answer) {
    answers.push_back(answer);
}

void Dialogs::setNextFolder(const QString& folder) {
    folders.push_back(folder);
}

int QuestionBox(const QString& prompt, const QString& title, bool withCancel, QWidget* parent) {
    return static_cast<int>(Dialogs::show(parent, BoxKind::Question, prompt, title, withCancel));
}

int InfoBox(const QString& prompt, const QString& title, bool withCancel, QWidget* parent) {
    return static_cast<int>(Dialogs::show(parent, BoxKind::Info, prompt, title, withCancel));
}

QString BrowseFolder(QWidget* owner, const QString& prompt, const QString& startFolder) {
    Dialogs::browsedFrom.push_back(startFolder);
    QString chosen;
    if (automatic) {
        if (!Dialogs::folders.empty()) {
            chosen = Dialogs::folders.front();
            Dialogs::folders.pop_front();
        }
    } else {
        chosen = QFileDialog::getExistingDirectory(owner, displayText(prompt), startFolder);
    }
    return chosen.isEmpty() ? startFolder : QDir::toNativeSeparators(chosen);
}

bool OpenPage(int kind, const ServerSettings& settings) {
    const auto address = pageAddress(kind, settings);
    if (!address) {
        return false;
    }
    Dialogs::openedPages.push_back(qtText(*address));
    if (automatic) {
        return Dialogs::browserStarts;
    }
    return QDesktopServices::openUrl(QUrl(qtText(*address)));
}

}  // namespace kestrova::ui
