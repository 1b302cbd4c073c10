// The About window as the user meets it: the whole sheet, the ways to close it, its links.
#include "about/aboutform.h"

#include "instrument/specsheet.h"

#include "support/recordingshell.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace {

std::string sheetOf(const char *model) { return SpecSheet(SelectModelProfile(model), model, 30); }

TEST(AboutForm, ShowsEachSheetWholeWithoutWrapping)
{
    for (const char *model : {"FG5010", "AFG5101", "PFG5105", "AFG5102"}) {
        RecordingShell shell;
        AboutForm form(sheetOf(model), shell);
        const auto *label = form.findChild<QLabel *>(QStringLiteral("Label_Description"));
        EXPECT_EQ(label->text().toStdString(), sheetOf(model)) << model;
        EXPECT_TRUE(label->rect().contains(QRect({}, label->sizeHint()))) << model << ": " << label->sizeHint().width() << "x" << label->sizeHint().height();
    }
}

TEST(AboutForm, KeysButtonsAndLinks)
{
    constexpr int Open = -1; // still shown
    const struct { const char *control; Qt::Key key; Qt::MouseButton button; int clicks; QPoint at; int outcome; std::vector<std::string> links; } rows[] = {
        {nullptr, Qt::Key_Escape, {}, 0, {}, QDialog::Rejected, {}},
        {nullptr, Qt::Key_Return, {}, 0, {}, QDialog::Accepted, {}}, // Close, not the update button
        {nullptr, Qt::Key_Enter, {}, 0, {}, QDialog::Accepted, {}},
        {"Button_Close", {}, Qt::LeftButton, 1, {}, QDialog::Accepted, {}},
        {"Label_Email", {}, Qt::LeftButton, 2, {}, Open, {2, "mailto:wavedial@example.org?subject=Wavedial"}},
        {"Label_Email", {}, Qt::RightButton, 1, {}, Open, {}},
        {"Label_Email", {}, Qt::LeftButton, 1, {-5, 5}, Open, {}}, // released beside the address
        {"Button_CheckUpdate", {}, Qt::LeftButton, 1, {}, Open, {"https://example.org/wavedial/download"}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << (r.control ? r.control : "key") << " " << r.key << " " << r.button);
        RecordingShell shell;
        AboutForm form(sheetOf("AFG5101"), shell);
        form.show();
        if (r.key)
            QTest::keyClick(&form, r.key);
        for (int i = 0; i < r.clicks; ++i)
            QTest::mouseClick(form.findChild<QWidget *>(QLatin1String(r.control)), r.button, {}, r.at);
        EXPECT_EQ(form.isVisible() ? Open : form.result(), r.outcome);
        EXPECT_EQ(shell.links, r.links);
    }
}

} // namespace
