#include "FindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace tarvolo::viewer {

FindBar::FindBar(QWidget* parent)
    : QWidget(parent),
      text_(createTextField()),
      next_(createButton("FindNext", tr("Próxima"), tr("Procura a próxima ocorrência (F3)"), QKeySequence(Qt::Key_F3))),
      previous_(createButton("FindPrevious", tr("Anterior"), tr("Procura a ocorrência anterior (Shift+F3)"),
                             QKeySequence(Qt::SHIFT | Qt::Key_F3))),
      matchCase_(createCheckBox("FindMatchCase", tr("Maiúsculas e minúsculas"))),
      wholeWords_(createCheckBox("FindWholeWords", tr("Palavras inteiras"))),
      close_(createButton("FindClose", QStringLiteral("\u2715"), tr("Fecha a barra de procura (Esc)"), {})),
      status_(new QLabel(this))
{
    setObjectName("FindBar");
    setAccessibleName(tr("Procurar"));
    close_->setAccessibleName(tr("Fechar a barra de procura"));
    status_->setObjectName("FindStatus");
    // A long status is cut rather than widening the window.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    status_->setAccessibleName(tr("Resultado da procura"));

    connect(next_, &QToolButton::clicked, this, &FindBar::findNext);
    connect(previous_, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(close_, &QToolButton::clicked, this, &FindBar::closeBar);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(text_);
    layout->addWidget(previous_);
    layout->addWidget(next_);
    layout->addWidget(matchCase_);
    layout->addWidget(wholeWords_);
    layout->addWidget(status_, 1);
    layout->addWidget(close_);
    setFocusProxy(text_);
}

QLineEdit* FindBar::createTextField()
{
    auto* text = new QLineEdit(this);
    text->setObjectName("FindText");
    text->setAccessibleName(tr("Texto a procurar"));
    text->setPlaceholderText(tr("Procurar no relatório"));
    text->setClearButtonEnabled(true);
    // Room for a few words, and the window still narrows to 640 pixels with the bar open.
    text->setMinimumWidth(120);
    // Enter and Shift+Enter are told apart here: returnPressed carries no modifiers.
    text->installEventFilter(this);
    return text;
}

QToolButton* FindBar::createButton(const QString& objectName, const QString& text, const QString& toolTip,
                                   const QKeySequence& shortcut)
{
    auto* button = new QToolButton(this);
    button->setObjectName(objectName);
    button->setText(text);
    button->setToolTip(toolTip);
    button->setAccessibleName(text);
    button->setAutoRaise(true);
    if (!shortcut.isEmpty())
        button->setShortcut(shortcut);
    return button;
}

QCheckBox* FindBar::createCheckBox(const QString& objectName, const QString& text)
{
    auto* box = new QCheckBox(text, this);
    box->setObjectName(objectName);
    box->setAccessibleName(text);
    return box;
}

QString FindBar::Needle() const
{
    return text_->text();
}

bool FindBar::MatchCase() const
{
    return matchCase_->isChecked();
}

bool FindBar::WholeWords() const
{
    return wholeWords_->isChecked();
}

void FindBar::Activate()
{
    show();
    text_->selectAll();
    text_->setFocus(Qt::ShortcutFocusReason);
}

void FindBar::SetStatus(const QString& status)
{
    status_->setText(status);
}

QString FindBar::Status() const
{
    return status_->text();
}

void FindBar::SetSearching(bool searching)
{
    searching_ = searching;
}

void FindBar::findNext()
{
    requestFind(false);
}

void FindBar::findPrevious()
{
    requestFind(true);
}

void FindBar::closeBar()
{
    hide();
    emit closed();
}

void FindBar::requestFind(bool backwards)
{
    if (!text_->text().isEmpty())
        emit findRequested(text_->text(), matchCase_->isChecked(), wholeWords_->isChecked(), backwards);
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == text_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            requestFind(key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (searching_)
        emit cancelRequested();
    else
        closeBar();
}

} // namespace tarvolo::viewer
