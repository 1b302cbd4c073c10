#pragma once

#include <QDialog>

#include <array>
#include <string>

class QLabel;
class QPushButton;
class ShellService;

// The About window: program, version, the connected instrument, the model's
// specification sheet, and the ways to reach the maker. Built afresh for each opening and shown
// modally; it keeps nothing between openings.
class AboutForm : public QDialog
{
    Q_OBJECT

public:
    AboutForm(const std::string &specSheet, ShellService &shell, QWidget *parent = nullptr);

    void Label_Email_Click();
    void Button_CheckUpdate_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupUi(const std::string &specSheet);
    void connectHandlers();

    ShellService &m_shell;

    QLabel *picIcon = nullptr;
    QLabel *Label_Title = nullptr;
    QLabel *Label_Version = nullptr;
    QLabel *Label_Description = nullptr;
    QLabel *Label_WrittenBy = nullptr;
    QLabel *Label_Email = nullptr;
    std::array<QWidget *, 2> Line1{};
    QPushButton *Button_CheckUpdate = nullptr;
    QPushButton *Button_Close = nullptr;
};
