#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace tarvolo::viewer {

// The bar under the preview in which the user types text to find, with next and previous, the
// two options and a line telling how the search goes. It only asks: the window runs the search.
class FindBar : public QWidget {
    Q_OBJECT

public:
    explicit FindBar(QWidget* parent = nullptr);

    QString Needle() const;
    bool MatchCase() const;
    bool WholeWords() const;
    // Shows the bar with its text selected, ready to be typed over.
    void Activate();
    void SetStatus(const QString& status);
    QString Status() const;
    // While a search runs, Esc cancels it instead of closing the bar.
    void SetSearching(bool searching);
    bool IsSearching() const { return searching_; }

signals:
    void findRequested(const QString& needle, bool matchCase, bool wholeWords, bool backwards);
    void cancelRequested();
    void closed();

public slots:
    void findNext();
    void findPrevious();
    void closeBar();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* createTextField();
    QToolButton* createButton(const QString& objectName, const QString& text, const QString& toolTip,
                              const QKeySequence& shortcut);
    QCheckBox* createCheckBox(const QString& objectName, const QString& text);
    void requestFind(bool backwards);

    QLineEdit* text_;
    QToolButton* next_;
    QToolButton* previous_;
    QCheckBox* matchCase_;
    QCheckBox* wholeWords_;
    QToolButton* close_;
    QLabel* status_;
    bool searching_ = false;
};

} // namespace tarvolo::viewer
