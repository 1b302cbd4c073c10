// The About window as the user meets it: the whole sheet readable, the keys and the
// button that close it, the links handed to the desktop exactly.
#include "about/aboutform.h"

#include "instrument/specsheet.h"

#include "support/recordingshell.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

std::string sheetOf(const char *model) { return SpecSheet(SelectModelProfile(model), model, 30); }

TEST(AboutForm, ShowsEachSheetWholeWithoutWrapping)
{
    for (const char *model : {"FG5010", "AFG5101", "PFG5105", "AFG5102"}) {
        SCOPED_TRACE(model);
        RecordingShell shell;
        AboutForm form(sheetOf(model), shell);
        auto *label = form.findChild<QLabel *>(QStringLiteral("Label_Description"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text().toStdString(), sheetOf(model));
        EXPECT_FALSE(label->wordWrap());
        const QRectF needed = QFontMetricsF(label->font())
                                  .boundingRect(QRectF(label->rect()), Qt::AlignLeft | Qt::AlignTop,
                                                label->text().trimmed());
        EXPECT_LE(needed.width(), label->width());
        EXPECT_LE(needed.height(), label->height());
    }
}

TEST(AboutForm, KeysButtonsAndLinks)
{
    const std::string mail = "mailto:wavedial@example.org?subject=Wavedial";
    const std::string page = "https://example.org/wavedial/download";
    const struct { const char *control; Qt::Key key; Qt::MouseButton button; int clicks; bool open; int result; std::vector<std::string> links; } rows[] = {
        {nullptr, Qt::Key_Escape, Qt::NoButton, 0, false, QDialog::Rejected, {}},
        {nullptr, Qt::Key_Return, Qt::NoButton, 0, false, QDialog::Accepted, {}}, // not the update button
        {nullptr, Qt::Key_Enter, Qt::NoButton, 0, false, QDialog::Accepted, {}},
        {"Button_Close", Qt::Key(0), Qt::LeftButton, 1, false, QDialog::Accepted, {}},
        {"Label_Email", Qt::Key(0), Qt::LeftButton, 2, true, 0, {mail, mail}},
        {"Label_Email", Qt::Key(0), Qt::RightButton, 1, true, 0, {}},
        {"Button_CheckUpdate", Qt::Key(0), Qt::LeftButton, 1, true, 0, {page}},
        {"Label_Title", Qt::Key(0), Qt::LeftButton, 1, true, 0, {}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << (r.control ? r.control : "key") << " " << r.key);
        RecordingShell shell;
        QWidget parent;
        AboutForm form(sheetOf("AFG5101"), shell, &parent);
        parent.show();
        form.show();
        if (r.key)
            QTest::keyClick(&form, r.key);
        for (int i = 0; i < r.clicks; ++i)
            QTest::mouseClick(form.findChild<QWidget *>(QLatin1String(r.control)), r.button);
        EXPECT_EQ(form.isVisible(), r.open);
        EXPECT_EQ(r.open ? 0 : form.result(), r.result);
        EXPECT_EQ(shell.links, r.links);
    }
    // A press on the address released elsewhere is no click.
    RecordingShell shell;
    AboutForm form(sheetOf("FG5010"), shell);
    form.show();
    auto *email = form.findChild<QLabel *>(QStringLiteral("Label_Email"));
    QTest::mousePress(email, Qt::LeftButton);
    QTest::mouseRelease(email, Qt::LeftButton, {}, QPoint(email->width() + 20, 5));
    EXPECT_TRUE(shell.links.empty());
}

} // namespace
