#include "about/aboutform.h"

#include "about/links.h"
#include "about/shell.h"
#include "forms/appicon.h"
#include "forms/formstyle.h"
#include "text/version.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int ClientWidth = 8325;
constexpr int ClientHeight = 9030;

QWidget *line(QWidget *parent, const char *name, const QColor &color, QRect geometry)
{
    auto *w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, color);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
    w->setGeometry(geometry);
    return w;
}

// The sheet was laid out for 8-point MS Sans Serif, which fills its area almost
// exactly; a wider substitute face is stepped down until the longest line and every
// line fit. The line feed at the end of some sheets shows nothing and is not counted.
QFont fittingSheetFont(const QString &sheet, QSize area)
{
    QString shown = sheet;
    while (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    constexpr qreal smallest = 6;
    QFont f = formFont(8);
    for (;;) {
        const QRectF needed = QFontMetricsF(f).boundingRect(QRectF(QPointF(0, 0), QSizeF(area)),
                                                            Qt::AlignLeft | Qt::AlignTop, shown);
        if ((needed.width() <= area.width() && needed.height() <= area.height()) ||
            f.pointSizeF() <= smallest)
            return f;
        f.setPointSizeF(f.pointSizeF() - 0.25);
    }
}

} // namespace

AboutForm::AboutForm(const std::string &specSheet, ShellService &shell, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_shell(shell)
{
    setupUi(specSheet);
    connectHandlers();
}

void AboutForm::setupUi(const std::string &specSheet)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About ") + QString::fromUtf8(AppTitle));
    setFont(formFont(8));
    setFixedSize(twips(ClientWidth), twips(ClientHeight));
    setModal(true);

    picIcon = formLabel(this, "picIcon", QString(), twipsRect(240, 240, 540, 540));
    picIcon->setPixmap(programIconPixmap(32));

    Label_Title =
        formLabel(this, "Label_Title", QString::fromUtf8(AppTitle), twipsRect(1050, 240, 7125, 240));
    Label_Version = formLabel(this, "Label_Version", QString::fromStdString(VersionText()),
                          twipsRect(1050, 540, 7125, 225));

    const QString sheet = QString::fromStdString(specSheet);
    Label_Description = formLabel(this, "Label_Description", sheet, twipsRect(1080, 900, 7125, 6615));
    Label_Description->setWordWrap(false);
    Label_Description->setFont(fittingSheetFont(sheet, Label_Description->size()));

    Label_WrittenBy = formLabel(this, "Label_WrittenBy", QString::fromUtf8(CreditLine),
                            twipsRect(1050, 7680, 7125, 225));

    QFont link = formFont(8.25);
    link.setUnderline(true);
    Label_Email = formLabel(this, "Label_Email", QString::fromUtf8(ContactEmailAddress),
                        twipsRect(1050, 7980, 1245, 225));
    Label_Email->setFont(link);
    // Wide enough for the whole address, so that all of it can be clicked.
    Label_Email->resize(std::max(Label_Email->width(), Label_Email->sizeHint().width()),
                        Label_Email->height());
    Label_Email->setCursor(Qt::PointingHandCursor);
    Label_Email->installEventFilter(this);

    // Etched rule: the grey line sits on the upper pixel row of the wider white one.
    const int ruleTop = twips(8340);
    const int ruleEnd = twips(8220);
    Line1[0] = line(this, "Line1(0)", QColor(255, 255, 255),
                    QRect(twips(60), ruleTop, ruleEnd - twips(60), 2));
    Line1[1] = line(this, "Line1(1)", QColor(128, 128, 128),
                    QRect(twips(90), ruleTop, ruleEnd - twips(90), 1));

    Button_CheckUpdate = formButton(this, "Button_CheckUpdate", QStringLiteral("Check for &Updates"),
                                twipsRect(120, 8520, 1935, 375));
    Button_Close =
        formButton(this, "Button_Close", QStringLiteral("&Close"), twipsRect(6960, 8520, 1260, 345));
    // Enter closes (the default button, which the dialog also gives the focus); Esc
    // closes through the dialog's own reject.
    Button_Close->setDefault(true);
}

void AboutForm::connectHandlers()
{
    connect(Button_Close, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button_CheckUpdate, &QPushButton::clicked, this, &AboutForm::Button_CheckUpdate_Click);
}

void AboutForm::Label_Email_Click()
{
    OpenEmail(m_shell, ContactEmailAddress, EmailSubject, "");
}

void AboutForm::Button_CheckUpdate_Click()
{
    m_shell.open(DownloadPage);
}

// A label has no click of its own: a left-button release over it counts as one.
bool AboutForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label_Email && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton &&
            Label_Email->rect().contains(mouse->position().toPoint())) {
            Label_Email_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
