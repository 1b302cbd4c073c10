#pragma once

#include <QLineEdit>

#include <cstdint>

// A text box with the event habits the entry handlers were written for:
//  - keyPress sees each typed character first (Enter as 13, Backspace as 8, Ctrl+V as 22)
//    and may replace it or discard it by setting it to 0, before the box acts on it;
//  - the longest text limits typing only: the program may write longer texts, which
//    QLineEdit's own maxLength would cut;
//  - focusReceived and focusLost fire only when the focus moves between controls of the
//    window, not when a message box, a menu or another window takes it for a while;
//  - the focus arrives without selecting the text, whichever way it comes;
//  - text enters only through typed keys: paste (keys, menu, middle button), drops and
//    input-method commits either go through the same key filter or are refused, so no
//    text the filter would refuse can reach the instrument;
//  - once told to (keepTextsWhole), a text too wide for the box in its font is shown in
//    a smaller size, whole.
class EntryField : public QLineEdit
{
    Q_OBJECT

public:
    EntryField(int longestTypedText, QWidget *parent);

    int longestTypedText() const { return m_longestTypedText; }

    // A text the program writes (read-back, tidying, rewrites): shown from its
    // beginning, the caret at 0, as the original text boxes showed it; a long text
    // would otherwise scroll its sign and first digits out of view.
    void setProgramText(const QString &text);

    // From now on the present font's size is the largest the texts are shown in: the
    // program writes texts longer than any typed one ("35.00" into a two-figure box).
    void keepTextsWhole();

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
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void fitText();

    int m_longestTypedText;
    qreal m_fullPoints = 0;
};
