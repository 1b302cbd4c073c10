#pragma once

#include <QLineEdit>

#include <cstdint>

// A text box with the event habits the entry handlers were written for:
//  - keyPress sees each typed character first (Enter as 13, Backspace as 8, Ctrl+V as 22)
//    and may replace it or discard it by setting it to 0, before the box acts on it;
//  - the longest text limits typing only: the program may write longer texts, which
//    QLineEdit's own maxLength would cut;
//  - focusReceived and focusLost fire only when the focus moves between controls of the
//    window, not when a message box, a menu or another window takes it for a while.
class EntryField : public QLineEdit
{
    Q_OBJECT

public:
    EntryField(int longestTypedText, QWidget *parent);

    int longestTypedText() const { return m_longestTypedText; }

signals:
    void keyPress(int16_t &keyAscii);
    void focusReceived();
    void focusLost();
    void doubleClicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    int m_longestTypedText;
};
