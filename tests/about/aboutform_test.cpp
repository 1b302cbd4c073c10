#include "about/aboutform.h"

#include "about/links.h"
#include "about/shell.h"
#include "instrument/specsheet.h"
#include "forms/appicon.h"
#include "app/qtshell.h"
#include "instrument/profile.h"
#include "forms/formstyle.h"
#include "version.h"

#include <QDesktopServices>
#include <QFontMetricsF>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "support/recordingshell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

QRect tw(int left, int top, int width, int height)
{
    return {twips(left), twips(top), twips(width), twips(height)};
}

std::string Afg5101Sheet()
{
    return SpecSheet(SelectModelProfile("AFG5101"), "AFG5101", 5);
}

template<class W> W *child(const QWidget &parent, const char *name)
{
    W *w = parent.findChild<W *>(QLatin1String(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QString captionOf(QWidget *w)
{
    if (auto *b = qobject_cast<QPushButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    return {};
}

TEST(AboutFormLayout, EveryControlStandsWhereTheFormPutsIt)
{
    RecordingShell shell;
    const std::string sheet = Afg5101Sheet();
    AboutForm form(sheet, shell);

    const struct
    {
        const char *name;
        const char *className;
        QString caption;
        QRect geometry;
        bool widensToText = false;
    } cases[] = {
        {"picIcon", "QLabel", "", tw(240, 240, 540, 540)},
        {"Label_Title", "QLabel", "Wavedial", tw(1050, 240, 7125, 240)},
        {"Label_Version", "QLabel",
         QStringLiteral("Version %1.%2.%3")
             .arg(VersionMajor)
             .arg(VersionMinor)
             .arg(VersionRevision),
         tw(1050, 540, 7125, 225)},
        {"Label_Description", "QLabel", QString::fromStdString(sheet), tw(1080, 900, 7125, 6615)},
        {"Label_WrittenBy", "QLabel", "Written by the Wavedial developers",
         tw(1050, 7680, 7125, 225)},
        {"Label_Email", "QLabel", "wavedial@example.org", tw(1050, 7980, 1245, 225), true},
        {"Line1(0)", "QWidget", "", QRect(twips(60), twips(8340), twips(8220) - twips(60), 2)},
        {"Line1(1)", "QWidget", "", QRect(twips(90), twips(8340), twips(8220) - twips(90), 1)},
        {"Button_CheckUpdate", "QPushButton", "Check for &Updates", tw(120, 8520, 1935, 375)},
        {"Button_Close", "QPushButton", "&Close", tw(6960, 8520, 1260, 345)},
    };
    for (const auto &c : cases) {
        QWidget *w = child<QWidget>(form, c.name);
        if (!w)
            continue;
        EXPECT_STREQ(w->metaObject()->className(), c.className) << c.name;
        EXPECT_EQ(captionOf(w), c.caption) << c.name;
        if (c.widensToText) {
            EXPECT_EQ(w->pos(), c.geometry.topLeft()) << c.name;
            EXPECT_EQ(w->height(), c.geometry.height()) << c.name;
            EXPECT_GE(w->width(), c.geometry.width()) << c.name;
            EXPECT_GE(w->width(), w->sizeHint().width()) << c.name;
        } else {
            EXPECT_EQ(w->geometry(), c.geometry) << c.name;
        }
    }
}

class SheetOnTheForm : public testing::TestWithParam<const char *>
{
};

TEST_P(SheetOnTheForm, IsShownWholeWithoutWrapping)
{
    RecordingShell shell;
    const std::string sheet = SpecSheet(SelectModelProfile(GetParam()), GetParam(), 30);
    AboutForm form(sheet, shell);
    auto *label = child<QLabel>(form, "Label_Description");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QString::fromStdString(sheet));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_FALSE(label->wordWrap());
    EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignTop);

    // The whole sheet fits, as the label's painter lays it out; the line feed that ends
    // some sheets shows nothing.
    QString shown = label->text();
    while (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    const QRectF needed =
        QFontMetricsF(label->font())
            .boundingRect(QRectF(label->rect()), Qt::AlignLeft | Qt::AlignTop, shown);
    EXPECT_LE(needed.width(), label->width());
    EXPECT_LE(needed.height(), label->height());
    EXPECT_GE(label->font().pointSizeF(), 6.0);
    EXPECT_LE(label->font().pointSizeF(), 8.0);
}

INSTANTIATE_TEST_SUITE_P(AllModels, SheetOnTheForm,
                         testing::Values("FG5010", "AFG5101", "PFG5105", "AFG5102"));

TEST(AboutFormOpenings, EachOpeningShowsTheSameSheet)
{
    RecordingShell shell;
    const ModelProfile profile = SelectModelProfile("AFG5102");
    QString first;
    {
        AboutForm form(SpecSheet(profile, "AFG5102", 5), shell);
        form.show();
        auto *label = child<QLabel>(form, "Label_Description");
        ASSERT_NE(label, nullptr);
        first = label->text();
        QTest::keyClick(&form, Qt::Key_Escape);
    }
    AboutForm again(SpecSheet(profile, "AFG5102", 5), shell);
    auto *label = child<QLabel>(again, "Label_Description");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), first);
    EXPECT_FALSE(again.isVisible());
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_TRUE(shell.links.empty());
}

TEST(AboutFormClosing, EnterEscAndTheButtonClose)
{
    const struct
    {
        const char *name;
        Qt::Key key; // 0: click Button_Close
        int result;
    } cases[] = {
        {"Esc", Qt::Key_Escape, QDialog::Rejected},
        {"Enter", Qt::Key_Return, QDialog::Accepted},
        {"keypad Enter", Qt::Key_Enter, QDialog::Accepted},
        {"Close clicked", Qt::Key(0), QDialog::Accepted},
    };
    for (const auto &c : cases) {
        RecordingShell shell;
        QWidget parent;
        AboutForm form(Afg5101Sheet(), shell, &parent);
        parent.show();
        form.show();
        ASSERT_TRUE(form.isVisible()) << c.name;
        if (c.key)
            QTest::keyClick(&form, c.key);
        else
            QTest::mouseClick(child<QPushButton>(form, "Button_Close"), Qt::LeftButton);
        EXPECT_FALSE(form.isVisible()) << c.name;
        EXPECT_EQ(form.result(), c.result) << c.name;
        EXPECT_TRUE(shell.links.empty()) << c.name; // Enter must not reach the update button
    }
}

TEST(AboutFormLinks, ClicksHandTheExactLinkToTheShell)
{
    const std::string mail = "mailto:wavedial@example.org?subject=Wavedial";
    const std::string page = "https://example.org/wavedial/download";
    const struct
    {
        const char *name;
        const char *control;
        Qt::MouseButton button;
        int clicks;
        std::vector<std::string> links;
    } cases[] = {
        {"mail", "Label_Email", Qt::LeftButton, 1, {mail}},
        {"mail twice", "Label_Email", Qt::LeftButton, 2, {mail, mail}},
        {"mail, right button", "Label_Email", Qt::RightButton, 1, {}},
        {"update", "Button_CheckUpdate", Qt::LeftButton, 1, {page}},
        {"update twice", "Button_CheckUpdate", Qt::LeftButton, 2, {page, page}},
        {"the title", "Label_Title", Qt::LeftButton, 1, {}},
    };
    for (const auto &c : cases) {
        RecordingShell shell;
        AboutForm form(Afg5101Sheet(), shell);
        form.show();
        auto *target = child<QWidget>(form, c.control);
        ASSERT_NE(target, nullptr);
        for (int i = 0; i < c.clicks; ++i)
            QTest::mouseClick(target, c.button);
        EXPECT_EQ(shell.links, c.links) << c.name;
        EXPECT_TRUE(form.isVisible()) << c.name; // the window stays open
    }
}

TEST(AboutFormLinks, TheMailClickNeedsTheReleaseOverTheAddress)
{
    RecordingShell shell;
    AboutForm form(Afg5101Sheet(), shell);
    form.show();
    auto *email = child<QLabel>(form, "Label_Email");
    ASSERT_NE(email, nullptr);
    QTest::mousePress(email, Qt::LeftButton);
    QTest::mouseRelease(email, Qt::LeftButton, {}, QPoint(email->width() + 20, 5));
    EXPECT_TRUE(shell.links.empty());
}

} // namespace

// Stands in for the desktop's handlers, so that what QtShell hands over can be seen.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    std::vector<QUrl> urls;

public slots:
    void handle(const QUrl &url) { urls.push_back(url); }
};

TEST(QtShell, HandsTheLinkToTheDesktopUnchanged)
{
    UrlCatcher catcher;
    for (const char *scheme : {"mailto", "https"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &catcher, "handle");

    const std::vector<std::string> links = {
        "mailto:wavedial@example.org?subject=Wavedial",
        "mailto:a@b.org?subject=Two words&body=x",
        "https://example.org/wavedial/download",
    };
    QtShell shell;
    for (const std::string &link : links)
        shell.open(link);

    for (const char *scheme : {"mailto", "https"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    ASSERT_EQ(catcher.urls.size(), links.size());
    for (std::size_t i = 0; i < links.size(); ++i)
        EXPECT_EQ(catcher.urls[i].toString().toStdString(), links[i]);
}

#include "aboutform_test.moc"
